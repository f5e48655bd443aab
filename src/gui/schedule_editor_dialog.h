// The schedule editor's window: the list of data/schedule.lst with the fields
// and buttons that edit it, the file chooser and the text pane, all in a
// fixed-pitch font so the list's columns line up. A view over ScheduleEditor's
// control models: every click, edit and key goes to its handlers.
//
// From the main window it is modeless (one instance, kept, reloaded from the
// file at each fresh showing); with port 0 it is alone, and closing it ends the program.
#pragma once

#include <QDialog>

#include "editor/schedule_editor.h"
#include "gui/control_binding.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QTextEdit;

namespace sked {

class ScheduleEditorDialog : public QDialog {
public:
    // `settings`, `clock` and `boxes` outlive the dialog.
    ScheduleEditorDialog(StationSettings& settings, const Clock& clock, MessageBoxService& boxes, QWidget* parent = nullptr);
    ~ScheduleEditorDialog() override;

    ScheduleEditor& editor() { return editor_; }

    // The widgets, for tests and screenshots.
    struct Widgets {
        QListWidget* list = nullptr;
        QLineEdit *date = nullptr, *repeat = nullptr, *time = nullptr, *filter = nullptr, *fileName = nullptr, *dur = nullptr;
        QComboBox* fileCombo = nullptr;
        QPushButton *insert = nullptr, *replace = nullptr, *remove = nullptr, *autoTime = nullptr, *save = nullptr,
                    *saveExit = nullptr, *cancel = nullptr, *editSave = nullptr, *clear = nullptr, *margin = nullptr;
        QCheckBox *sortByDate = nullptr, *edit = nullptr;
        QSlider* slider = nullptr;
        QTextEdit* text = nullptr;
        QLabel* status = nullptr;
    };
    const Widgets& widgets() const { return w_; }

    // Save-n-Exit and Cancel (and the window's close box, which cancels).
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildListHalf();
    QWidget* BuildTextHalf();
    void BindTextPane();

    ScheduleEditor editor_;
    Bindings bindings_;
    Widgets w_;
};

// The main window's Editor button and menu item: shows the one modeless
// editor, created with `parent` on first use and kept while `parent` lives.
// Returns it (for tests).
ScheduleEditorDialog* ShowScheduleEditor(QWidget* parent, StationSettings& settings, const Clock& clock,
                                         MessageBoxService& boxes);

// Editor-only operation (port 0): the editor without parent, deleted when
// the operator closes it. Needs a QApplication (and a display).
void ShowScheduleEditorAlone(StationSettings& settings, const Clock& clock, MessageBoxService& boxes);

}  // namespace sked
