// The main window over a station on the simulated clock: the operator's
// clicks, keys and edits go to the real widgets, and what the station shows
// is read back from them. Screenshots go to SKEDCAST_SCREENSHOT_DIR.
#pragma once

#include <memory>
#include <string>

#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QListWidget>
#include <QLineEdit>

#include "gui/main_window_view.h"
#include "support/scenario_helpers.h"

namespace sked::test {

class MainWindowTest : public ScenarioTest {
protected:
    void TearDown() override {
        view.reset();  // the window goes before the station it watches
        ScenarioTest::TearDown();
    }

    // Starts the station and opens its window at the smallest size it is laid out for.
    void Open(const std::string& parameters = "QZ0XB 2 RTS", const std::string& start = "2026-01-01T12:00:00") {
        ASSERT_TRUE(Start(parameters, start));
        view = std::make_unique<MainWindowView>(*station);
        view->resize(1024, 600);
        view->show();
    }
    const MainWindowView::Widgets& W() const { return view->widgets(); }

    // What the operator's mouse and keyboard send, through the application
    // (and so through the window's own key handling).
    static void MouseClick(QWidget* widget, QPoint at);
    static void Click(QWidget* widget) { MouseClick(widget, widget->rect().center()); }
    static void KeyClick(QWidget* widget, int key, const QString& text = {});
    static void KeyClicks(QWidget* widget, const QString& text);
    static std::string Text(const QLineEdit* field) { return field->text().toStdString(); }
    // Replaces a field's text as the operator types it.
    static void Type(QLineEdit* field, const std::string& text) {
        field->setFocus();
        field->selectAll();
        KeyClick(field, Qt::Key_Backspace);
        KeyClicks(field, QString::fromStdString(text));
    }
    // Chooses item `index` of a list as the operator does: opens it and clicks the item.
    static void Pick(QComboBox* combo, int index);
    // Clicks row `row` of a list.
    static void ClickRow(QListWidget* list, int row);
    // Saves a PNG of `widget` under the screenshot folder.
    static void Screenshot(QWidget* widget, const std::string& name);

    std::unique_ptr<MainWindowView> view;
};

}  // namespace sked::test
