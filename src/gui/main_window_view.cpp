#include "gui/main_window_view.h"

#include <chrono>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/about_listing.h"
#include "app/station.h"
#include "gui/about_dialog.h"
#include "gui/display_box.h"
#include "gui/readout_field.h"
#include "gui/schedule_editor_dialog.h"
#include "gui/station_icon.h"

namespace sked {

namespace {

// The Mode group, which reports a click on itself (not on its buttons).
class ClickableGroupBox : public QGroupBox {
public:
    ClickableGroupBox(const QString& title, std::function<void()> clicked) : QGroupBox(title), clicked_(std::move(clicked)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QGroupBox::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) clicked_();
    }

private:
    std::function<void()> clicked_;
};

// The margin slider: its position counts when the mouse lets go of it.
class MarginSlider : public QSlider {
public:
    explicit MarginSlider(std::function<void(int)> released) : QSlider(Qt::Horizontal), released_(std::move(released)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QSlider::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton) released_(value());
    }

private:
    std::function<void(int)> released_;
};

// At least `minChars` digits wide, with room for the frame.
template <class Widget>
Widget* Widened(Widget* field, int minChars) {
    if (minChars > 0) field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QString(minChars, '0')) + 12);
    return field;
}

QLineEdit* Field(int minChars = 0) {
    auto* field = new QLineEdit;
    // Painted whole, so that a change repaints the field alone and not the
    // group box behind it too.
    field->setAutoFillBackground(true);
    return Widened(field, minChars);
}

ReadoutField* Readout(int minChars = 0) { return Widened(new ReadoutField, minChars); }

QPushButton* Button() {
    auto* button = new QPushButton;
    // Enter belongs to the window's own key handling, never to a focused button.
    button->setAutoDefault(false);
    return button;
}

QRadioButton* Radio() {
    auto* radio = new QRadioButton;
    // The station marks the buttons; Qt must not unmark them on its own.
    radio->setAutoExclusive(false);
    return radio;
}

QLabel* Label(const char* text) { return new QLabel(text); }

}  // namespace

MainWindowView::MainWindowView(Station& station, QWidget* parent)
    : QMainWindow(parent), station_(station), commands_(station.commands), frames_(station.loop) {
    setObjectName("mainWindow");
    setWindowIcon(StationIcon());
    auto* central = new QWidget;
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(6, 6, 6, 6);
    columns->addWidget(BuildQueueColumn(), 5);
    columns->addWidget(BuildOperatorColumn(), 3);
    columns->addWidget(BuildSignalColumn(), 3);
    setCentralWidget(central);
    BuildMenus();
    BindDisplay();
    ShowTitle();
    qApp->installEventFilter(this);
    station_.aboutHook = [this] { ShowAbout(); };
    station_.editorHook = [this] { ShowEditor(); };
}

MainWindowView::~MainWindowView() {
    qApp->removeEventFilter(this);
    station_.aboutHook = nullptr;
    station_.editorHook = nullptr;
}

void MainWindowView::ShowTitle() { setWindowTitle(ToQt(station_.window.title.empty() ? "Scheduler" : station_.window.title)); }

// ---- The columns ----

QWidget* MainWindowView::BuildQueueColumn() {
    MainWindow& m = station_.window;
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    w_.queueLine = Readout();
    bindings_.Readout(m.queueLine, w_.queueLine);
    layout->addWidget(w_.queueLine);

    w_.scheduleList = new QListWidget;
    w_.scheduleList->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    bindings_.List(m.scheduleList, w_.scheduleList, [&m](int row) { m.scheduleList.SetCurSel(row); });
    connect(w_.scheduleList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { commands_.ShowEntry(w_.scheduleList->row(item)); });
    layout->addWidget(w_.scheduleList, 2);

    auto* files = new QHBoxLayout;
    w_.fileCombo = new QComboBox;
    w_.fileCombo->setEditable(true);
    w_.fileCombo->setInsertPolicy(QComboBox::NoInsert);
    w_.fileCombo->setMaxVisibleItems(20);
    bindings_.Combo(
        m.fileCombo, w_.fileCombo,
        [this, &m](int index) {
            m.fileCombo.SetCurSel(index);
            if (index >= 0 && index < m.fileCombo.Count()) commands_.FileSelected(m.fileCombo.Item(index));
        },
        [&m](const std::string& text) { m.fileCombo.SetEditText(text); });
    files->addWidget(w_.fileCombo, 1);
    w_.fileAdd = Button();
    bindings_.Button(m.fileAddButton, w_.fileAdd,
                     [this, &m] { commands_.FileAdd(m.fileCombo.EditText(), m.scheduleList.CurSel()); });
    files->addWidget(w_.fileAdd);
    w_.refresh = Button();
    w_.refresh->setMaximumWidth(w_.refresh->fontMetrics().horizontalAdvance("RR") + 20);
    bindings_.Button(m.refreshButton, w_.refresh, [this] { commands_.RefreshFileList(); });
    files->addWidget(w_.refresh);
    layout->addLayout(files);

    auto* queueButtons = new QHBoxLayout;
    w_.sendNow = Button();
    bindings_.Button(m.sendNowButton, w_.sendNow, [this] { commands_.SendNow(); });
    w_.deleteEntry = Button();
    bindings_.Button(m.deleteButton, w_.deleteEntry, [this, &m] {
        if (m.scheduleList.CurSel() >= 0) commands_.DeleteEntry(m.scheduleList.CurSel());
    });
    w_.reload = Button();
    bindings_.Button(m.reloadButton, w_.reload, [this] { commands_.Reload(); });
    w_.editor = Button();
    bindings_.Button(m.editorButton, w_.editor, [this] { commands_.Editor(); });
    w_.viewLog = Button();
    bindings_.Button(m.viewLogButton, w_.viewLog, [this] { commands_.ViewLog(); });
    for (QPushButton* b : {w_.sendNow, w_.deleteEntry, w_.reload, w_.editor, w_.viewLog}) queueButtons->addWidget(b);
    layout->addLayout(queueButtons);

    auto* display = new QGroupBox("Display");
    auto* d = new QVBoxLayout(display);
    auto* nameRow = new QHBoxLayout;
    w_.fileName = Field();
    bindings_.Edit(m.fileNameField, w_.fileName, [this](const std::string& text) { commands_.SetFileName(text); });
    nameRow->addWidget(w_.fileName, 1);
    w_.edit = new QCheckBox("Edit");
    w_.edit->setTristate(true);
    // Each click moves the box on by one state (read-only, editing, locked),
    // and the station decides what that means now.
    bindings_.Check(m.editCheck, w_.edit, [this, &m](int) { commands_.EditClicked((m.editCheck.Check() + 1) % 3); });
    w_.repeat = new QCheckBox("Repeat");
    bindings_.Check(m.repeatCheck, w_.repeat, [this](int on) { commands_.Repeat(on != 0); });
    w_.header = new QCheckBox("Header");
    bindings_.Check(m.headerCheck, w_.header, [this](int on) { commands_.Header(on != 0); });
    w_.diddle = new QCheckBox("Diddle");
    bindings_.Check(m.diddleCheck, w_.diddle, [this](int on) { commands_.Diddle(on != 0); });
    for (QCheckBox* c : {w_.edit, w_.repeat, w_.header, w_.diddle}) nameRow->addWidget(c);
    d->addLayout(nameRow);

    auto* composeRow = new QHBoxLayout;
    w_.compose = Button();
    bindings_.Button(m.composeButton, w_.compose, [this] { commands_.Compose(); });
    w_.sendCompose = Button();
    bindings_.Button(m.sendComposeButton, w_.sendCompose, [this] { commands_.SendCompose(); });
    w_.save = Button();
    bindings_.Button(m.saveButton, w_.save, [this] { commands_.Save(); });
    for (QPushButton* b : {w_.compose, w_.sendCompose, w_.save}) composeRow->addWidget(b);
    composeRow->addWidget(Label("Margin"));
    w_.marginSlider = new MarginSlider([this](int position) { commands_.MarginChanged(position); });
    bindings_.Slider(m.marginSlider, w_.marginSlider);
    composeRow->addWidget(w_.marginSlider, 1);
    d->addLayout(composeRow);

    w_.display = new DisplayBox;
    w_.display->setObjectName("displayBox");
    d->addWidget(w_.display, 1);
    w_.statusLine = Readout();
    // The status line runs with the text going out, a character at a time.
    bindings_.Readout(m.statusLine, w_.statusLine, &frames_);
    d->addWidget(w_.statusLine);
    layout->addWidget(display, 3);
    return column;
}

QWidget* MainWindowView::BuildOperatorColumn() {
    MainWindow& m = station_.window;
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    w_.clock = Readout(22);
    bindings_.Readout(m.clockField, w_.clock);
    layout->addWidget(w_.clock);

    auto* state = new QGroupBox("Scheduler");
    auto* g = new QGridLayout(state);
    int row = 0;
    w_.autoSend = Readout(8);
    bindings_.Readout(m.autoSendField, w_.autoSend);
    w_.enable = Button();
    bindings_.Button(m.enableButton, w_.enable, [this] { commands_.Enable(); });
    w_.disable = Button();
    bindings_.Button(m.disableButton, w_.disable, [this] { commands_.Disable(); });
    g->addWidget(Label("Auto Send"), row, 0);
    g->addWidget(w_.autoSend, row, 1);
    g->addWidget(w_.enable, row + 1, 0);
    g->addWidget(w_.disable, row + 1, 1);
    row += 2;

    w_.transmit = Readout(8);
    bindings_.Readout(m.transmitField, w_.transmit);
    w_.txOn = Button();
    bindings_.Button(m.txOnButton, w_.txOn, [this] { commands_.TransmitterOn(); });
    w_.txOff = Button();
    bindings_.Button(m.txOffButton, w_.txOff, [this] { commands_.TransmitterOff(); });
    g->addWidget(Label("Transmit"), row, 0);
    g->addWidget(w_.transmit, row, 1);
    g->addWidget(w_.txOn, row + 1, 0);
    g->addWidget(w_.txOff, row + 1, 1);
    row += 2;

    w_.flow = Readout(8);
    bindings_.Readout(m.flowField, w_.flow);
    g->addWidget(Label("Flow"), row, 0);
    g->addWidget(w_.flow, row, 1);
    ++row;
    auto* flowButtons = new QHBoxLayout;
    w_.pause = Button();
    bindings_.Button(m.pauseButton, w_.pause, [this] { commands_.Pause(); });
    w_.resume = Button();
    bindings_.Button(m.resumeButton, w_.resume, [this] { commands_.Resume(); });
    w_.cancel = Button();
    bindings_.Button(m.cancelButton, w_.cancel, [this] { commands_.Cancel(); });
    for (QPushButton* b : {w_.pause, w_.resume, w_.cancel}) flowButtons->addWidget(b);
    g->addLayout(flowButtons, row++, 0, 1, 2);

    w_.countdown = Readout(6);
    bindings_.Readout(m.countdownField, w_.countdown);
    g->addWidget(Label("Count Down"), row, 0);
    g->addWidget(w_.countdown, row++, 1);
    w_.charCount = Readout(8);
    bindings_.Readout(m.charCountField, w_.charCount, &frames_);
    g->addWidget(Label("Send Queue"), row, 0);
    g->addWidget(w_.charCount, row++, 1);
    layout->addWidget(state);

    auto* line = new QGroupBox("Line");
    auto* l = new QGridLayout(line);
    w_.comPort = Readout(5);
    bindings_.Readout(m.comPortField, w_.comPort);
    l->addWidget(Label("ComPort"), 0, 0);
    l->addWidget(w_.comPort, 0, 1);
    w_.power = new QCheckBox("Power");
    bindings_.Check(m.powerCheck, w_.power, [this](int on) { commands_.Power(on != 0); });
    l->addWidget(w_.power, 0, 2);
    w_.cwTimerCheck = new QCheckBox("CW-Timer");
    bindings_.Check(m.cwTimerCheck, w_.cwTimerCheck, [this](int on) { commands_.CwTimer(on != 0); });
    w_.cwTimer = Readout(5);
    bindings_.Readout(m.cwTimerField, w_.cwTimer);
    w_.sendCwid = Button();
    bindings_.Button(m.sendCwidButton, w_.sendCwid, [this] { commands_.SendCwid(); });
    l->addWidget(w_.cwTimerCheck, 1, 0);
    l->addWidget(w_.cwTimer, 1, 1);
    l->addWidget(w_.sendCwid, 1, 2);
    layout->addWidget(line);

    auto* tests = new QGroupBox("Test");
    auto* t = new QHBoxLayout(tests);
    w_.ry = Button();
    bindings_.Button(m.ryButton, w_.ry, [this] { commands_.Ry(); });
    w_.fox = Button();
    bindings_.Button(m.foxButton, w_.fox, [this] { commands_.Fox(); });
    t->addWidget(w_.ry);
    t->addWidget(w_.fox);
    layout->addWidget(tests);
    layout->addStretch(1);
    return column;
}

QWidget* MainWindowView::BuildSignalColumn() {
    MainWindow& m = station_.window;
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* modeGroup = new ClickableGroupBox("Mode", [this] { commands_.ModeGroupClicked(); });
    w_.modeGroup = modeGroup;
    bindings_.GroupBox(m.modeGroup, modeGroup);
    auto* mg = new QGridLayout(modeGroup);
    ButtonControl* modeModels[7] = {&m.milButton, &m.ita2Button, &m.telexButton, &m.asciiButton,
                                    &m.pskButton, &m.fecButton,  &m.cwButton};
    // FEC (the sixth) has no mode.
    constexpr std::optional<Mode> kModeOfButton[7] = {Mode::Military, Mode::Ita2, Mode::Telex, Mode::Ascii,
                                                      Mode::Psk31,    std::nullopt, Mode::Cw};
    for (int i = 0; i < 7; ++i) {
        w_.modes[i] = Radio();
        const std::optional<Mode> mode = kModeOfButton[i];
        bindings_.Button(*modeModels[i], w_.modes[i], [this, mode] {
            if (mode) commands_.Mode(*mode);
        });
        mg->addWidget(w_.modes[i], i / 4, i % 4);
    }
    // FEC is on the dialog but was never built.
    w_.modes[5]->setEnabled(false);
    m.fecButton.SetEnabled(false);
    layout->addWidget(modeGroup);

    w_.baudGroup = new QGroupBox;
    bindings_.GroupBox(m.baudGroup, w_.baudGroup);
    auto* bg = new QGridLayout(w_.baudGroup);
    for (int i = 0; i < 7; ++i) {
        w_.bauds[i] = Radio();
        bindings_.Button(m.baudButtons[i], w_.bauds[i], [this, i] { commands_.Baud(i); });
        bg->addWidget(w_.bauds[i], i / 4, i % 4);
    }
    layout->addWidget(w_.baudGroup);

    auto toneGroup = [this](ButtonControl& group, ButtonControl& style, bool centreStyle, QRadioButton*& radio,
                            EditControl& first, QLineEdit*& firstWidget, ToneField firstField, EditControl& second,
                            QLineEdit*& secondWidget, ToneField secondField) {
        auto* box = new QGroupBox;
        bindings_.GroupBox(group, box);
        auto* row = new QHBoxLayout(box);
        radio = Radio();
        bindings_.Button(style, radio, [this, centreStyle] { commands_.ToneEntryStyle(centreStyle); });
        firstWidget = Field(7);
        bindings_.Edit(first, firstWidget, [this, firstField](const std::string& t) { commands_.SetTone(firstField, t); });
        secondWidget = Field(7);
        bindings_.Edit(second, secondWidget,
                       [this, secondField](const std::string& t) { commands_.SetTone(secondField, t); });
        row->addWidget(radio);
        row->addWidget(firstWidget, 1);
        row->addWidget(secondWidget, 1);
        return box;
    };
    layout->addWidget(toneGroup(m.centreShiftGroup, m.centreShiftRadio, true, w_.centreShiftStyle, m.centreField,
                                w_.centre, ToneField::kCentre, m.shiftField, w_.shift, ToneField::kShift));
    layout->addWidget(toneGroup(m.markSpaceGroup, m.markSpaceRadio, false, w_.markSpaceStyle, m.markField, w_.mark,
                                ToneField::kMark, m.spaceField, w_.space, ToneField::kSpace));

    auto* sound = new QGroupBox("Sound Card");
    auto* s = new QHBoxLayout(sound);
    w_.soundCard = new QComboBox;
    bindings_.Combo(m.soundCardCombo, w_.soundCard, [this, &m](int index) {
        if (index >= 0 && index < m.soundCardCombo.Count()) commands_.SoundCard(m.soundCardCombo.Item(index));
    });
    s->addWidget(w_.soundCard, 1);
    w_.noSound = new QCheckBox("NoSnd");
    // Hidden on the station's dialog too: the sound card list sets it.
    m.noSoundCheck.SetVisible(false);
    bindings_.Check(m.noSoundCheck, w_.noSound, [this](int on) { commands_.NoSound(on != 0); });
    s->addWidget(w_.noSound);
    layout->addWidget(sound);

    auto* net = new QGroupBox("Network");
    auto* n = new QGridLayout(net);
    w_.netPort = new QComboBox;
    bindings_.Combo(m.netPortCombo, w_.netPort, [this, &m](int index) {
        if (index >= 0 && index < m.netPortCombo.Count()) commands_.NetPort(m.netPortCombo.Item(index));
    });
    w_.address = Field();
    bindings_.Edit(m.addressField, w_.address, [this](const std::string& t) { commands_.NetAddress(t); });
    w_.authentication = Field();
    // A credential: not shown to whoever looks at the screen.
    w_.authentication->setEchoMode(QLineEdit::Password);
    bindings_.Edit(m.authField, w_.authentication, [this](const std::string& t) { commands_.Authentication(t); });
    n->addWidget(Label("Port"), 0, 0);
    n->addWidget(w_.netPort, 0, 1);
    n->addWidget(Label("Address"), 1, 0);
    n->addWidget(w_.address, 1, 1);
    n->addWidget(Label("Auth"), 2, 0);
    n->addWidget(w_.authentication, 2, 1);
    layout->addWidget(net);
    layout->addStretch(1);
    return column;
}

void MainWindowView::BuildMenus() {
    QMenu* help = menuBar()->addMenu("&Help");
    w_.aboutAction = help->addAction("&About Skedcast...", this, [this] { commands_.About(); });
    w_.editorAction = help->addAction("Schedule Editor", this, [this] { commands_.Editor(); });
    // The same two on the window's own context menu.
    centralWidget()->setContextMenuPolicy(Qt::ActionsContextMenu);
    centralWidget()->addAction(w_.aboutAction);
    centralWidget()->addAction(w_.editorAction);
}

void MainWindowView::BindDisplay() {
    EditControl& model = station_.window.displayBox;
    // A new text, margin or state at once; the selection, which moves with
    // every character sent, at the next frame.
    const int frame = frames_.Add([this, &model] { w_.display->Show(model); });
    bindings_.Watch(model, [this, &model, frame] {
        if (w_.display->SelectionMovedOnly(model)) frames_.Request(frame);
        else w_.display->Show(model);
    });
    w_.display->OnEdited([this](const std::string& text) { commands_.SetDisplayText(text); });
}

// ---- The schedule editor and the About box ----

void MainWindowView::ShowEditor() {
    // Editor-only operation (port 0): the editor alone, until it closes.
    if (station_.editorOnly()) ShowScheduleEditorAlone(station_.settings, station_.loop.clock(), station_.boxes);
    else ShowScheduleEditor(this, station_.settings, station_.loop.clock(), station_.boxes);
}


void MainWindowView::ShowAbout() {
    if (!about_) about_ = new AboutDialog([this] { return AboutListing(station_.settings); }, this);
    if (!about_->isVisible()) about_->open();
    about_->raise();
    about_->activateWindow();
}

// ---- Closing and keys ----

void MainWindowView::closeEvent(QCloseEvent* event) {
    if (closeAllowed_) {
        event->accept();
        return;
    }
    // The station ends through its shut-down sequence; the window goes after it.
    event->ignore();
    commands_.Quit();
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* target = static_cast<QWidget*>(watched);
    if (target->window() != this) return false;  // popups and other windows have their own keys
    return HandleKey(target, static_cast<QKeyEvent*>(event)->key());
}

bool MainWindowView::HandleKey(QWidget* target, int key) {
    MainWindow& m = station_.window;
    const bool inDisplay = target == w_.display || w_.display->isAncestorOf(target);
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A new line while composing.
            if (inDisplay) return false;
            if (target == w_.fileName) commands_.ViewFile(FromQt(w_.fileName->text()));
            else commands_.ViewAndAdd(m.fileCombo.EditText(), m.scheduleList.CurSel());
            return true;
        case Qt::Key_Escape:
            // The station's window never closes on Escape.
            return true;
        case Qt::Key_Down:
            // The cursor keys still move inside the text being composed.
            if (inDisplay || w_.fileCombo->view()->isVisible()) return false;
            w_.fileCombo->showPopup();
            return true;
        default:
            return false;
    }
}

}  // namespace sked
