// The main window in Qt: every control of the station's window model as a
// widget, grouped and labelled as on the station's dialog, bound to its
// model, and every click, edit, selection and key forwarded to the station's
// command surface. The station's logic stays in the station.
//
// Closing the window asks the station to shut down (a transmission under way
// is cancelled); the window itself stays until its owner destroys it once the
// loop has returned and the station has gone through its shut-down.
#pragma once

#include <memory>
#include <string>

#include <QMainWindow>

#include "gui/control_binding.h"
#include "gui/paint_frames.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;

namespace sked {

class AboutDialog;
class DisplayBox;
class ReadoutField;
class Station;
class StationCommands;

class MainWindowView : public QMainWindow {
public:
    explicit MainWindowView(Station& station, QWidget* parent = nullptr);
    ~MainWindowView() override;

    // The title the station set at start-up.
    void ShowTitle();
    // The schedule editor: one modeless instance (alone, without the main window, in editor-only operation).
    void ShowEditor();
    // The About box: one instance, its list filled afresh at every opening.
    void ShowAbout();
    AboutDialog* about() const { return about_; }
    // Lets the window close for good (after the station's shut-down).
    void AllowClose() { closeAllowed_ = true; }

    // The widgets, for tests and screenshots.
    struct Widgets {
        QListWidget* scheduleList = nullptr;
        ReadoutField* queueLine = nullptr;
        ReadoutField* countdown = nullptr;
        ReadoutField* charCount = nullptr;
        ReadoutField* statusLine = nullptr;
        ReadoutField* autoSend = nullptr;
        ReadoutField* transmit = nullptr;
        ReadoutField* flow = nullptr;
        ReadoutField* clock = nullptr;
        ReadoutField* comPort = nullptr;
        ReadoutField* cwTimer = nullptr;
        QLineEdit* fileName = nullptr;
        DisplayBox* display = nullptr;
        QComboBox* fileCombo = nullptr;
        QSlider* marginSlider = nullptr;
        QPushButton *sendNow = nullptr, *editor = nullptr, *deleteEntry = nullptr, *reload = nullptr;
        QPushButton *ry = nullptr, *fox = nullptr, *compose = nullptr, *sendCompose = nullptr, *save = nullptr;
        QPushButton *viewLog = nullptr, *enable = nullptr, *disable = nullptr, *txOn = nullptr, *txOff = nullptr;
        QPushButton *pause = nullptr, *resume = nullptr, *cancel = nullptr, *fileAdd = nullptr, *refresh = nullptr;
        QPushButton* sendCwid = nullptr;
        QCheckBox *header = nullptr, *repeat = nullptr, *edit = nullptr, *diddle = nullptr, *cwTimerCheck = nullptr;
        QCheckBox *power = nullptr, *noSound = nullptr;
        QGroupBox *modeGroup = nullptr, *baudGroup = nullptr;
        QRadioButton* modes[7] = {};  // Mil, ITA#2, TELEX, ASCII, PSK31, FEC, CW
        QRadioButton* bauds[7] = {};
        QRadioButton *centreShiftStyle = nullptr, *markSpaceStyle = nullptr;
        QLineEdit *centre = nullptr, *shift = nullptr, *mark = nullptr, *space = nullptr;
        QComboBox *soundCard = nullptr, *netPort = nullptr;
        QLineEdit *address = nullptr, *authentication = nullptr;
        QAction *aboutAction = nullptr, *editorAction = nullptr;
    };
    const Widgets& widgets() const { return w_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildQueueColumn();
    QWidget* BuildOperatorColumn();
    QWidget* BuildSignalColumn();
    void BuildMenus();
    void BindDisplay();
    // The window's keys, before the focused control sees them; true when consumed.
    bool HandleKey(QWidget* target, int key);

    Station& station_;
    StationCommands& commands_;
    PaintFrames frames_;  // before the bindings that use it
    Bindings bindings_;
    Widgets w_;
    AboutDialog* about_ = nullptr;
    bool closeAllowed_ = false;
};

}  // namespace sked
