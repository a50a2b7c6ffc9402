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
// Thread safety: the control's window thread only. state() may be read
// from any thread (hosts and tests look at it while a scan runs).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

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

    // Creates the (hidden) window. False when it already exists.
    bool Create();
    void Destroy();
    bool HasWindow() const;

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
    mutable std::mutex mutex_;
    ProgressState state_;
};
