// ProgressView: the window that shows CDocivaDialog on a platform that
// draws it (a status text above a progress bar). CDocivaDialog keeps the
// rules (nothing happens without a window, hiding blanks the dialog) and
// forwards each change to its view; without a view it only keeps the state.
//
// Thread safety: the thread that created the view's window, which is the
// control's window thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

class ProgressView {
public:
    virtual ~ProgressView() = default;

    // Creates the hidden window, owned by owner (a native window handle,
    // may be null). False when the window could not be made.
    virtual bool create(void* owner) = 0;
    virtual void destroy() = 0;
    // The window it belongs to may be made after it (a control's visible
    // window comes with in-place activation); null: none.
    virtual void setOwner(void* owner) = 0;

    virtual void setRange(std::int32_t low, std::int32_t high) = 0;
    virtual void setPos(std::int32_t position) = 0;
    // What the control shows, which may differ from what was set (a
    // progress bar keeps its position inside its range).
    virtual std::int32_t pos() const = 0;
    virtual void range(std::int32_t& low, std::int32_t& high) const = 0;
    virtual void setText(std::u16string_view text) = 0;
    // Showing centres the window on its owner first.
    virtual void show(bool show) = 0;

protected:
    ProgressView() = default;
    ProgressView(const ProgressView&) = delete;
    ProgressView& operator=(const ProgressView&) = delete;
};

// The platform's progress window for a CDocivaDialog: a real window on
// Windows; null where the host shows progress itself (Linux), so the
// dialog keeps only its state.
std::unique_ptr<ProgressView> makeProgressView();
