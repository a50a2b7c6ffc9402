// One RAII owner for every kind of OS handle. A Traits type names the
// handle type, its invalid value and how to close it:
//
//   struct LibraryTraits {
//       using Handle = void*;
//       static Handle invalid() noexcept { return nullptr; }
//       static void close(Handle h) noexcept;
//   };
//   using ScopedLibrary = platform::ScopedHandle<LibraryTraits>;
#pragma once

#include <cstdint>
#include <utility>

#include "platform/system.h"

namespace platform {

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() noexcept : handle_(Traits::invalid()) {}
    explicit ScopedHandle(Handle h) noexcept : handle_(h) {}
    ~ScopedHandle() { reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    bool valid() const noexcept { return handle_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }
    Handle get() const noexcept { return handle_; }

    // Hands the handle to the caller, who must close it.
    [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }
    // Closes what is held. The caller's last error survives the close: a
    // failure path that lets its handles go still reports its own reason.
    void reset(Handle h = Traits::invalid()) noexcept {
        Handle old = std::exchange(handle_, h);
        if (old != Traits::invalid()) {
            const std::uint32_t error = lastError();
            Traits::close(old);
            setLastError(error);
        }
    }
    // For out parameters: closes what is held and hands out the slot.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Handle handle_;
};

}  // namespace platform
