// ControlShell: one page's control. The service makes one for each
// WebSocket session; it runs a thread of its own, on which the control is
// made, called, pumped and destroyed, so that every method, every window
// message and every event stay on the control's thread as the control
// requires. The network thread hands it calls and dialog answers and gets
// back, through the session's Outbox, the messages to send.
//
// Thread safety: enqueue, answer and stop from any thread (the network
// thread); construction and destruction on one thread, never the shell's
// own. Destruction stops the thread and waits for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>

#include "bridge/protocol.h"
#include "platform/message_window.h"

namespace bridge {

// Where the shell's messages go: the session's writer. Any thread.
class Outbox {
public:
    virtual ~Outbox() = default;
    virtual void send(std::string message) = 0;
    // A text frame saying what follows, then a binary frame, with nothing
    // between them. A picture replaces one still waiting to be written.
    virtual void sendBinary(std::string header, std::string bytes, bool picture) = 0;
};

struct ShellOptions {
    // A dialog the page leaves unanswered this long is cancelled.
    std::uint32_t dialogTimeoutMs = 60000;
    // Calls waiting for the control beyond this many are refused as busy.
    std::size_t maxQueuedCalls = 64;
};

class ControlShell {
public:
    // finished is called on the shell's thread once its control is gone;
    // the shell may be destroyed from then on (on another thread).
    ControlShell(std::shared_ptr<Outbox> outbox, ShellOptions options, std::function<void()> finished);
    ~ControlShell();
    ControlShell(const ControlShell&) = delete;
    ControlShell& operator=(const ControlShell&) = delete;

    // False when the queue is full (the caller refuses the call as busy).
    bool enqueue(CallMessage call);
    // The page's pointer on the viewer; dropped when the queue is full (a
    // later move says where the pointer is).
    void mouse(MouseMessage mouse);
    // Sends the viewer's picture whenever it changes (on), or stops.
    void viewer(bool on);
    // A list of the session's files or one file's bytes; false when the
    // queue is full.
    bool file(FileMessage request);
    // An answer to the dialog open now; an answer to any other is dropped.
    void answer(AnswerMessage answer);
    // Ends the session: an open dialog is cancelled, queued calls are
    // dropped, the control is destroyed (its scanners closed). Returns at
    // once.
    void stop();

    // For the dialog service, on the shell's thread: puts a dialog to the
    // page and waits for its answer; nullopt when cancelled, unanswered in
    // time or the session ended.
    std::optional<nlohmann::json> ask(std::string_view kind, const nlohmann::json& fields);

private:
    void run();
    void wake();

    std::shared_ptr<Outbox> outbox_;
    const ShellOptions options_;
    std::function<void()> finished_;

    std::mutex mutex_;
    std::condition_variable answered_;
    using Input = std::variant<CallMessage, MouseMessage, FileMessage>;
    std::deque<Input> calls_;
    bool viewerOn_ = false;
    bool viewerChanged_ = false;  // turned on: the picture goes out even unchanged
    bool stopping_ = false;
    // Reaches the control's window once it exists, to wake its pump.
    std::shared_ptr<platform::MessagePort> port_;
    std::uint64_t nextDialog_ = 0;
    std::uint64_t openDialog_ = 0;  // 0: none
    std::optional<nlohmann::json> dialogAnswer_;

    std::thread thread_;
};

}  // namespace bridge
