#include "dialogs/dociva_dialog.h"

using Lock = std::lock_guard<std::mutex>;

bool CDocivaDialog::AttachView(std::unique_ptr<ProgressView> view) {
    Lock lock(mutex_);
    if (state_.exists) return false;
    view_ = std::move(view);
    return true;
}

bool CDocivaDialog::Create(void* owner) {
    Lock lock(mutex_);
    if (state_.exists) return false;
    // Without a window of its own (no display, or no template in this
    // module) the dialog goes on as a state only, as it does on Linux, so
    // the scan run behaves the same either way.
    if (view_ && !view_->create(owner)) view_.reset();
    state_ = ProgressState{};
    state_.exists = true;
    if (view_) readBackView();
    return true;
}

void CDocivaDialog::Destroy() {
    Lock lock(mutex_);
    if (state_.exists && view_) view_->destroy();
    state_ = ProgressState{};
}

void CDocivaDialog::SetOwner(void* owner) {
    Lock lock(mutex_);
    if (state_.exists && view_) view_->setOwner(owner);
}

void CDocivaDialog::readBackView() {
    state_.position = view_->pos();
    view_->range(state_.low, state_.high);
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
    if (view_) {
        view_->setPos(0);
        view_->setRange(0, max);
        readBackView();
    }
}

void CDocivaDialog::SetPos(std::int32_t position) {
    Lock lock(mutex_);
    if (!state_.exists) return;
    state_.position = position;
    if (view_) {
        view_->setPos(position);
        readBackView();
    }
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
    if (!state_.exists) return;
    state_.text = text;
    if (view_) view_->setText(text);
}

void CDocivaDialog::Show(bool show) {
    Lock lock(mutex_);
    if (!state_.exists) return;
    if (show) {
        if (!state_.visible) ++state_.timesShown;
        state_.visible = true;
        if (view_) view_->show(true);
    } else {
        state_.visible = false;
        state_.position = 0;
        state_.text.clear();
        if (view_) {
            view_->show(false);
            view_->setPos(0);
            view_->setText(u"");
            readBackView();
        }
    }
}

ProgressState CDocivaDialog::state() const {
    Lock lock(mutex_);
    return state_;
}
