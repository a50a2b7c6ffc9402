// Cairo and fontconfig keep caches for the whole process; they are let go
// after the last test so the leak checker reports only real leaks. Linux
// only: the Windows canvas keeps nothing beyond its own objects.
#include <gtest/gtest.h>

#include "platform/posix/canvas_cairo.h"

namespace {

class CanvasCaches : public ::testing::Environment {
public:
    void TearDown() override { platform::CairoCanvas::releaseProcessCaches(); }
};
[[maybe_unused]] ::testing::Environment* const canvasCaches =
    ::testing::AddGlobalTestEnvironment(new CanvasCaches);  // GoogleTest owns it

}  // namespace
