#include "main_window_fixture.h"

#include <filesystem>

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>

namespace sked::test {

void MainWindowTest::MouseClick(QWidget* widget, QPoint at) {
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void MainWindowTest::KeyClick(QWidget* widget, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

void MainWindowTest::KeyClicks(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A')
                        : c.isDigit() ? Qt::Key_0 + (c.unicode() - '0')
                                      : c.unicode();
        KeyClick(widget, key, QString(c));
    }
}

void MainWindowTest::Pick(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    ASSERT_TRUE(list->isVisible());
    const QRect item = list->visualRect(combo->model()->index(index, 0));
    MouseClick(list->viewport(), item.center());
}

void MainWindowTest::ClickRow(QListWidget* list, int row) {
    MouseClick(list->viewport(), list->visualItemRect(list->item(row)).center());
}

void MainWindowTest::Screenshot(QWidget* widget, const std::string& name) {
    std::filesystem::create_directories(SKEDCAST_SCREENSHOT_DIR);
    const std::string path = std::string(SKEDCAST_SCREENSHOT_DIR) + "/" + name;
    EXPECT_TRUE(widget->grab().save(QString::fromStdString(path), "PNG")) << path;
}

}  // namespace sked::test
