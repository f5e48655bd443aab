#include "gui/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "gui/control_binding.h"

namespace sked {

namespace {
QMessageBox::Icon QtIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Stop: return QMessageBox::Critical;
        case BoxIcon::Warning: return QMessageBox::Warning;
        case BoxIcon::Information: return QMessageBox::Information;
        case BoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

void QtMessageBox::Show(const std::string& caption, const std::string& text, BoxIcon icon) {
    auto* box = new QMessageBox(QtIcon(icon), ToQt(caption), ToQt(text), QMessageBox::Ok, parent_);
    box->setAttribute(Qt::WA_DeleteOnClose, true);
    box->setModal(false);
    box->show();
}

void QtMessageBox::Beep() { QApplication::beep(); }

}  // namespace sked
