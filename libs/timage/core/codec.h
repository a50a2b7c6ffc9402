// Loading and describing encoded data in any supported format: the format
// is sniffed from the content, headers are checked against the limits, and
// the backend decodes.
//
// Thread safety: any thread.
#pragma once

#include "libs/timage/core/backend.h"

namespace timage {

int describeData(const SharedBytes& bytes, TI_FILE_INFO& info);
int loadData(const SharedBytes& bytes, int page, ImagePtr& out);
int loadFile(const char16_t* path, int page, ImagePtr& out);
int readFileShared(const char16_t* path, SharedBytes& out);

// Reads a TI_STREAM from its current position to its end.
int readStream(TI_STREAM* stream, Bytes& out);
int writeStream(TI_STREAM* stream, const Bytes& bytes);

// Applies a parameter list on top of options.
int applyParams(const TI_PARAM* params, int count, SaveOptions& options);
bool isCompression(int value);

}  // namespace timage
