// CDocivaDialog: the scan progress dialog, a line of status text above a
// progress bar. The control owns one, creates its window together with its
// own and keeps it hidden between scans; the scan run's window messages
// drive it.
//
// This is the dialog's behaviour, kept apart from how a platform draws it:
// every operation does nothing (a query gives 0) until the window exists;
// hiding empties the text and puts the bar back to 0, so every scan starts
// from a blank dialog.
//
// A platform that draws the dialog attaches a ProgressView before the
// window is created; every change then reaches the view too, and the
// queries answer what its controls show.
//
// Thread safety: the control's window thread only. state() may be read
// from any thread (hosts and tests look at it while a scan runs).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "dialogs/progress_view.h"

struct ProgressState {
    bool exists = false;
    bool visible = false;
    std::u16string text;
    std::int32_t position = 0;
    std::int32_t low = 0;
    std::int32_t high = 0;
    int timesShown = 0;  // how often the window was shown (centred on its owner)
};

class CDocivaDialog {
public:
    static constexpr int kTemplateId = 205;
    static constexpr int kProgressId = 204;
    static constexpr int kTextId = 205;

    // The window that draws the dialog (null: none). Only before Create:
    // false (and the view is dropped) while the window exists.
    bool AttachView(std::unique_ptr<ProgressView> view);

    // Creates the (hidden) window; owner is the native window it belongs
    // to (null: none). False when it already exists. A view that cannot
    // make its window is dropped and the dialog keeps only its state.
    bool Create(void* owner = nullptr);
    void Destroy();
    bool HasWindow() const;
    // The native window the dialog belongs to from now on (null: none).
    void SetOwner(void* owner);

    // Position to 0, then the range 0..max.
    void SetRange(std::int32_t max);
    void SetPos(std::int32_t position);
    std::int32_t GetPos() const;
    // Either output may be null.
    void GetRange(std::int32_t* low, std::int32_t* high) const;
    void SetText(std::u16string_view text);
    // Showing centres the window on its owner; hiding resets the position
    // and the text.
    void Show(bool show);

    ProgressState state() const;

private:
    // Takes the position and range the view's controls show.
    void readBackView();

    mutable std::mutex mutex_;
    ProgressState state_;
    std::unique_ptr<ProgressView> view_;
};
