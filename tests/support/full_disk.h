// A full disk for the tests of what the component does when its writes
// are refused: the platform's simulated full disk (every platform, also
// under Wine), or a real one - a small tmpfs of the test's own, mounted at
// a folder and filled up (Linux, as root; where mounting is not possible
// the case skips and says why).
#pragma once

#include <string>

namespace testing_support {

class FullDisk {
public:
    enum class Kind { Simulated, Tmpfs };

    // For Tmpfs, mounts a tmpfs of sizeBytes at folder (an empty folder
    // the test made); ready() tells whether that worked. fill() keeps its
    // filler file in folder itself: put the files under test in a
    // subfolder.
    FullDisk(Kind kind, std::u16string folder, unsigned long long sizeBytes = 4ull << 20);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool ready() const { return ready_; }
    // Why the disk could not be had.
    const std::string& why() const { return why_; }
    const char* name() const { return kind_ == Kind::Simulated ? "simulated" : "tmpfs"; }

    // From now on about freeBytes are left for new data in the folder: per
    // file when simulated, for the whole file system on a tmpfs (whose room
    // comes in pages of 4096 bytes).
    void fill(unsigned long long freeBytes);
    // Room again.
    void drain();

private:
    Kind kind_;
    std::u16string folder_;
    bool ready_ = false;
    bool mounted_ = false;
    std::string why_;
    std::string filler_;
    std::string previousFolder_, previousFree_;
    bool hadFolder_ = false, hadFree_ = false;
    bool filled_ = false;
};

}  // namespace testing_support
