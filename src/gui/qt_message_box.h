// The station's message boxes as real windows. A box never holds the station:
// it opens beside the window and Show returns at once, so an unattended
// station is never held by a box nobody clicks.
#pragma once

#include "platform/message_box.h"

class QWidget;

namespace sked {

class QtMessageBox : public MessageBoxService {
public:
    // The window the boxes belong to (none before it exists).
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Show(const std::string& caption, const std::string& text, BoxIcon icon) override;
    void Beep() override;

private:
    QWidget* parent_ = nullptr;
};

}  // namespace sked
