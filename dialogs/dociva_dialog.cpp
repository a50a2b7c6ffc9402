#include "dialogs/dociva_dialog.h"

using Lock = std::lock_guard<std::mutex>;

bool CDocivaDialog::Create() {
    Lock lock(mutex_);
    if (state_.exists) return false;
    state_ = ProgressState{};
    state_.exists = true;
    return true;
}

void CDocivaDialog::Destroy() {
    Lock lock(mutex_);
    state_ = ProgressState{};
}

bool CDocivaDialog::HasWindow() const {
    Lock lock(mutex_);
    return state_.exists;
}

void CDocivaDialog::SetRange(std::int32_t max) {
    Lock lock(mutex_);
    if (!state_.exists) return;
    state_.position = 0;
    state_.low = 0;
    state_.high = max;
}

void CDocivaDialog::SetPos(std::int32_t position) {
    Lock lock(mutex_);
    if (state_.exists) state_.position = position;
}

std::int32_t CDocivaDialog::GetPos() const {
    Lock lock(mutex_);
    return state_.exists ? state_.position : 0;
}

void CDocivaDialog::GetRange(std::int32_t* low, std::int32_t* high) const {
    Lock lock(mutex_);
    if (!state_.exists) return;
    if (low) *low = state_.low;
    if (high) *high = state_.high;
}

void CDocivaDialog::SetText(std::u16string_view text) {
    Lock lock(mutex_);
    if (state_.exists) state_.text = text;
}

void CDocivaDialog::Show(bool show) {
    Lock lock(mutex_);
    if (!state_.exists) return;
    if (show) {
        if (!state_.visible) ++state_.timesShown;
        state_.visible = true;
    } else {
        state_.visible = false;
        state_.position = 0;
        state_.text.clear();
    }
}

ProgressState CDocivaDialog::state() const {
    Lock lock(mutex_);
    return state_;
}
