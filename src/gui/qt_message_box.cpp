#include "gui/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

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

int QtMessageBox::Show(const std::string& caption, const std::string& text, BoxIcon icon) {
    QPointer<QMessageBox> box = new QMessageBox(QtIcon(icon), ToQt(caption), ToQt(text), QMessageBox::Ok, parent_);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    bool answered = false;
    QObject::connect(box, &QMessageBox::finished, box, [&answered] { answered = true; });
    box->open();
    loop_.WaitUntil([&] { return answered || !box || loop_.QuitRequested(); });
    delete box.data();
    return 1;  // OK, the only button
}

void QtMessageBox::Beep() { QApplication::beep(); }

}  // namespace sked
