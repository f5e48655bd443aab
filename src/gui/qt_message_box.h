// The station's message boxes as real windows. A box waits for the operator
// the way the station's own waits do, so the station keeps ticking behind it
// and a shut-down request (the window closed, a signal) answers it at once:
// an unattended station is never held by a box nobody clicks.
#pragma once

#include "platform/event_loop.h"
#include "platform/message_box.h"

class QWidget;

namespace sked {

class QtMessageBox : public MessageBoxService {
public:
    explicit QtMessageBox(EventLoop& loop) : loop_(loop) {}
    // The window the boxes belong to (none before it exists).
    void SetParent(QWidget* parent) { parent_ = parent; }

    int Show(const std::string& caption, const std::string& text, BoxIcon icon) override;
    void Beep() override;

private:
    EventLoop& loop_;
    QWidget* parent_ = nullptr;
};

}  // namespace sked
