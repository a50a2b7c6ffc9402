// MessageWindow: a window that exists only to receive messages on the
// thread that made it (its owner thread). Work done on other threads (the
// scanner SDK's callbacks, the request pool's worker) reaches the control
// through it, so that the control's state and its events stay on one
// thread.
//
// post() queues a message and returns at once. send() from the owner
// thread runs the handler at once; from any other thread it waits until
// the owner thread has handled the message while pumping, and gives the
// handler's result. Messages sent from other threads are handled before
// posted ones, and posted messages keep their order. Handlers may post and
// send to the same window again.
//
// On Windows it is a message-only window (HWND_MESSAGE) and pumping is the
// thread's message loop; on Linux it is a queue of its own.
//
// Thread safety: post() and send() from any thread while the window lives.
// create(), pump(), close(), hasPending() and destruction belong to the
// owner thread. Destroying the window releases every sender still waiting
// (its send gives 0) and drops the posted messages unhandled. A thread whose
// calls may race the destruction (a callback the SDK can still make while
// the control goes away) holds a MessagePort instead of the window.
//
// Handlers must not throw: on Windows an exception cannot cross the
// system's frames between the message loop and the window procedure. A
// handler may destroy its own window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// The message numbers a window takes. Windows keeps the numbers below for
// its own messages and those above for registered ones; the same range on
// every platform makes a wrong number fail here rather than only there.
inline constexpr std::uint32_t kFirstWindowMessage = 0x0400;
inline constexpr std::uint32_t kLastWindowMessage = 0xBFFF;

// Reaches a window without keeping it alive. Once the window is gone,
// post() gives false and send() gives 0 and nothing else happens, so a
// port may be kept by code that outlives the window. Any thread.
class MessagePort {
public:
    virtual ~MessagePort() = default;
    virtual bool post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual std::intptr_t send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;

protected:
    MessagePort() = default;
    MessagePort(const MessagePort&) = delete;
    MessagePort& operator=(const MessagePort&) = delete;
};

class MessageWindow {
public:
    using Handler = std::function<std::intptr_t(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;

    // Made on the calling thread, which becomes the owner thread. Null when
    // the platform refuses a window (lastError() tells why).
    static std::unique_ptr<MessageWindow> create(Handler handler);

    virtual ~MessageWindow() = default;

    // False when the window is being destroyed, the queue cannot take it or
    // the message is outside kFirstWindowMessage..kLastWindowMessage.
    virtual bool post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // 0 when the window is destroyed before the message is handled (or the
    // message is outside the range).
    virtual std::intptr_t send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;

    // Owner thread only: handles every message queued now (sent ones
    // first). When none is queued, waits at most timeoutMs for the first
    // one to arrive and handles what has arrived by then. Returns the
    // number of messages handled. kWaitForever (sync.h) waits without a
    // limit. Messages that handlers post while it runs may be left for the
    // next call (on Linux they are, so a handler that posts to itself
    // cannot keep pump from returning). What the owner thread sends itself
    // is handled at once and not counted.
    virtual std::size_t pump(std::uint32_t timeoutMs) = 0;
    // Owner thread only: stops taking messages without freeing the window.
    // Every sender still waiting is released (its send gives 0), posted
    // messages are dropped, and from then on post() fails and send() gives
    // 0 at once. An owner that must wait for another thread which may still
    // send (a worker being stopped) closes the window first, so that the
    // worker cannot block on a window thread that is no longer pumping.
    // Destruction closes the window too.
    virtual void close() = 0;
    // True while a message waits to be handled. On Windows that is any
    // message in the thread's queue, since pump handles those too.
    virtual bool hasPending() const = 0;
    virtual bool isOwnerThread() const = 0;
    // The HWND on Windows (for dialogs' owners); null on Linux.
    virtual void* nativeHandle() const = 0;
    // The same window for threads that may outlive it; every call gives a
    // port to the same queue.
    virtual std::shared_ptr<MessagePort> port() const = 0;

protected:
    MessageWindow() = default;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
};

}  // namespace platform
