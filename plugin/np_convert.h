// How the plug-in reads the page's values and hands results back. The
// page's values arrive as whatever the script passed, and are converted,
// never refused: an integer from a number, a boolean or decimal text, a
// text only from a string.
//
// Thread safety: pure functions, except those that allocate through the
// browser (browser's thread).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plugin/npapi.h"

namespace np {

// Int32 as it is; Double truncated (outside the 32-bit range, NaN too:
// INT32_MIN, as the processor's conversion gives); Bool 0 or 1; String
// read as a decimal number (leading blanks and a sign, digits up to the
// first other character, clamped to 32 bits); Void and Null 0; Object -1.
std::int32_t integerOf(const NPVariant& value);
// What the 16-bit setters keep of an integer: its low 16 bits, signed.
std::int16_t lowWord(std::int32_t value);
// Reals for the scan-area method: numbers as they are, a string read as a
// decimal number (0 when it is none), other types as integerOf.
double realOf(const NPVariant& value);
// A String's UTF-8 as UTF-16; any other type gives the empty text.
std::u16string textOf(const NPVariant& value);

void setVoid(NPVariant& result);
void setInt(NPVariant& result, std::int32_t value);
// A String holding the text as UTF-8 in memory of the browser's allocator
// (the browser frees it). False when the allocation fails.
bool setText(const NPNetscapeFuncs& browser, NPVariant& result, std::u16string_view text);

}  // namespace np
