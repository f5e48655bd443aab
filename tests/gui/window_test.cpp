// The main window and the editor's over a station on the simulated clock, through their real buttons and keys.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QScreen>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTextEdit>

#include "app/about_listing.h"
#include "gui/about_dialog.h"
#include "gui/display_box.h"
#include "gui/main_window_view.h"
#include "gui/readout_field.h"
#include "gui/schedule_editor_dialog.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

class MainWindowTest : public ScenarioTest {
protected:
    void TearDown() override {
        view.reset();  // the window goes before the station it watches
        ScenarioTest::TearDown();
    }
    // Starts the station and opens its window at the smallest size it is laid out for.
    void Open() {
        ASSERT_TRUE(Start());
        view = std::make_unique<MainWindowView>(*station);
        view->resize(1024, 600);
        view->show();
    }
    const MainWindowView::Widgets& W() const { return view->widgets(); }

    static void KeyClick(QWidget* widget, int key, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &press);
    }
    // Replaces a field's text as the operator types it.
    static void Type(QLineEdit* field, const std::string& text) {
        field->setFocus();
        field->selectAll();
        KeyClick(field, Qt::Key_Backspace);
        for (QChar c : QString::fromStdString(text)) KeyClick(field, c.toUpper().unicode(), QString(c));
    }
    template <class Field>
    static std::string Text(const Field* field) { return field->text().trimmed().toStdString(); }

    std::unique_ptr<MainWindowView> view;
};

TEST_F(MainWindowTest, TheFieldsFollowATransmissionAndAClosedWindowCancelsItAndQuits) {
    const std::string bulletin = "QST QST DE QZ0XB BULLETIN NUMBER ONE\nTHE BAND IS OPEN TODAY\n";
    WriteData("bulletin.txt", bulletin);
    Open();
    Queue(T("2026-01-01T12:00:05"), "bulletin.txt");
    W().enable->click();
    // The display is painted a frame a second: at each, it shows the character going out then.
    std::set<int> framesShown;
    for (int second = 11; second < 15; ++second) At(T("2026-01-01T12:00:00") + std::chrono::seconds(second), [&] {
        const EditControl& model = station->window.displayBox;
        const auto going = static_cast<std::size_t>(model.SelectionStart());
        EXPECT_EQ(W().display->HighlightedText().toStdString(),
                  bulletin.substr(going, static_cast<std::size_t>(model.SelectionEnd()) - going));
        framesShown.insert(model.SelectionStart());
        // What the window painted (after the first frame, the two cells the highlight moved between and the
        // readouts from where their texts changed) is what painting them whole shows.
        QApplication::processEvents();
        for (QWidget* widget : std::initializer_list<QWidget*>{W().display->viewport(), W().clock, W().statusLine,
                                                              W().charCount}) {
            const QPoint at = widget->mapTo(view.get(), QPoint(0, 0));
            const QImage painted =
                view->screen()->grabWindow(view->winId(), at.x(), at.y(), widget->width(), widget->height()).toImage();
            EXPECT_EQ(painted.convertToFormat(QImage::Format_RGB32),
                      widget->grab().toImage().convertToFormat(QImage::Format_RGB32)) << widget->metaObject()->className();
        }
    });
    At("2026-01-01T12:00:15", [&] {
        EXPECT_EQ(Text(W().queueLine) + " " + Text(W().transmit), "TXFile : Sending file <bulletin.txt>. ON");
        // A readout stands as high as a field the operator types in, and a screen reader reads it.
        EXPECT_EQ(Text(W().clock), station->window.clockField.Text());
        EXPECT_EQ(W().clock->height(), W().fileName->height());
        QAccessibleInterface* readout = QAccessible::queryAccessibleInterface(W().clock);
        ASSERT_NE(readout, nullptr);
        EXPECT_EQ(readout->text(QAccessible::Value).toStdString(), station->window.clockField.Text());
        // The character going out is highlighted in the selection's colour, where the text has it.
        const EditControl& model = station->window.displayBox;
        ASSERT_GT(model.SelectionEnd(), model.SelectionStart());
        EXPECT_EQ(W().display->HighlightedText().toStdString(),
                  bulletin.substr(static_cast<std::size_t>(model.SelectionStart()), 1));
        const QRect cell = W().display->HighlightArea();
        QTextCursor at(W().display->document());
        at.setPosition(model.SelectionStart());
        EXPECT_LE(std::abs(cell.left() - W().display->cursorRect(at).left()), 1);
        const QImage shown = W().display->viewport()->grab().toImage();
        EXPECT_EQ(shown.pixelColor(cell.topLeft() + QPoint(1, 1)), W().display->palette().color(QPalette::Highlight));
        KeyClick(W().scheduleList, Qt::Key_Escape);  // never closes
        EXPECT_FALSE(loop->QuitRequested());
        EXPECT_FALSE(view->close());  // asks the station to end; the window stays until it has
        EXPECT_TRUE(view->isVisible() && Logged("CmCancel : Session CANCELED") && loop->QuitRequested());
    });
    RunUntil(T("2026-01-01T12:00:40"));
    EXPECT_EQ(framesShown.size(), 4u);  // every frame moved on
    // What the program does once its loop has returned.
    station->ShutDown();
    EXPECT_TRUE(!KeyLineUp() && Logged("ABORTED sending <bulletin.txt>."));
    view->AllowClose();
    EXPECT_TRUE(view->close());
}

// The display copies the station's text when it changes, and after the operator typed even when it did not: a
// text the station did not take is not left standing.
TEST(DisplayBoxTest, ShowsTheStationsTextAfterTypingItDidNotTake) {
    EditControl model;
    model.SetText("QST DE QZ0XB");
    DisplayBox box;
    std::string typed;
    box.OnEdited([&](const std::string& text) { typed = text; });  // kept by the test, not the station
    box.Show(model);
    box.textCursor().insertText("X");
    model.SetSelection(1, 2);
    EXPECT_FALSE(box.SelectionMovedOnly(model));
    box.Show(model);
    EXPECT_EQ(typed + " / " + box.toPlainText().toStdString(), "XQST DE QZ0XB / QST DE QZ0XB");
    model.SetSelection(2, 3);
    EXPECT_TRUE(box.SelectionMovedOnly(model));
}

// A year of hourly bulletins loaded under the window, as the program opens it: the list gets it in one batch and
// then follows the queue a row at a time; the entry due 3 s after the start goes out on time.
TEST_F(MainWindowTest, AYearOfBulletinsReachesTheListInOneBatchAndLeavesItByRows) {
    std::string schedule = "01/01/2026 12:00:03 b.txt\n";
    for (std::time_t hour = 0; hour < 8759; ++hour)
        schedule += QueueLine(std::chrono::system_clock::to_time_t(T("2026-01-02T00:00:00")) + hour * 3600,
                              "b.txt\nfooter.txt\n");
    WriteData({{"schedule.lst", schedule}, {"b.txt", "QST\n"}, {"footer.txt", "DE QZ0XB\n"}});
    ASSERT_TRUE(StartStation("", "2026-01-01T12:00:00", false));
    view = std::make_unique<MainWindowView>(*station);
    int batches = 0;
    QObject::connect(W().scheduleList->model(), &QAbstractItemModel::rowsInserted, [&] { ++batches; });
    ASSERT_TRUE(station->StartUp("QZ0XB 2 RTS"));
    station->commands.Enable();
    RunUntil(T("2026-01-01T12:00:04"));
    Lines shown;
    for (int row = 0; row < W().scheduleList->count(); ++row)
        shown.push_back(W().scheduleList->item(row)->text().toStdString());
    EXPECT_TRUE(shown == Items() && shown.size() == 17518 && batches == 1) << shown.size() << " " << batches;
    EXPECT_EQ(StampOf("File <b.txt> in TRANSMIT Queue."), "12:00:03");
}

TEST_F(MainWindowTest, TheKeysTheWindowItselfItsAboutBoxAndAClickThatReturnsAtOnce) {
    WriteData("bulletin.txt", "qst de qz0xb\n");
    Open();
    W().edit->click();  // editing: the file name field takes typing
    EXPECT_EQ(W().display->lineWrapColumnOrWidth(), 70);  // where a save breaks the lines, at the margin's
    station->commands.MarginChanged(300);
    EXPECT_EQ(W().display->lineWrapColumnOrWidth(), 55);
    Type(W().fileName, "bulletin.txt");
    KeyClick(W().fileName, Qt::Key_Return);
    EXPECT_EQ(W().display->toPlainText().toStdString(), "QST DE QZ0XB\n");  // Military shows capitals
    Type(W().fileCombo->lineEdit(), "bulletin.txt");
    KeyClick(W().ry, Qt::Key_Return);  // Enter on a button is the window's Enter, never a press
    ASSERT_EQ(W().scheduleList->count(), 1);
    EXPECT_EQ(W().scheduleList->item(0)->text().toStdString(), "01/01/2026 12:00:10 bulletin.txt");
    EXPECT_FALSE(station->transmission.Busy());
    KeyClick(W().scheduleList, Qt::Key_Down);
    EXPECT_TRUE(W().fileCombo->view()->isVisible());
    W().fileCombo->hidePopup();
    EXPECT_EQ(view->windowTitle().toStdString(), "Scheduler" + std::string(62, ' ') + "Q Z 0 X B ");
    // Everything fits a 1024 by 600 screen with room for a title bar.
    EXPECT_TRUE(view->minimumSizeHint().width() <= 1024 && view->minimumSizeHint().height() <= 570);
    // The About box: one instance, its list the live settings at every opening.
    W().aboutAction->trigger();
    AboutDialog* about = view->about();
    ASSERT_NE(about, nullptr);
    about->accept();
    W().modes[3]->click();
    for (int opened = 0; opened < 2; ++opened) W().aboutAction->trigger();  // again while open: not doubled
    std::vector<std::string> shown;
    for (int i = 0; i < about->list()->count(); ++i) shown.push_back(about->list()->item(i)->text().toStdString());
    EXPECT_EQ(shown, AboutListing(station->settings));
    W().fox->click();  // the test text goes out from the loop: the click returns before its first character
    EXPECT_TRUE(station->transmission.Busy() && Now() == T("2026-01-01T12:00:00"));
}


// Pause, resume, cancel, an identification, ASCII at 100 baud: log, settings and line agree to the bit.
TEST_F(MainWindowTest, OneSessionGivesTheSameLogSettingsAndLineThroughTheWindowOrTheConsole) {
    const auto session = [&](bool window) {
        WriteData("bulletin.txt", "QST DE QZ0XB BULLETIN NUMBER ONE\nTHE BAND IS OPEN\n");
        WriteData("thefox.txt", "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\n");
        if (window) Open();
        else EXPECT_TRUE(Start());
        Queue(T("2026-01-01T12:00:10"), "bulletin.txt");
        using Step = std::tuple<const char*, const char*, std::function<void(const MainWindowView::Widgets&)>>;
        const Step steps[] = {
            {"12:00:01", "header off", [](auto& w) { w.header->click(); }},
            {"12:00:02", "enable", [](auto& w) { w.enable->click(); }},
            {"12:00:14", "pause", [](auto& w) { w.pause->click(); }},
            {"12:00:18", "resume", [](auto& w) { w.resume->click(); }},
            {"12:00:40", "fox", [](auto& w) { w.fox->click(); }},
            {"12:00:45", "cancel", [](auto& w) { w.cancel->click(); }},
            {"12:01:00", "cwid", [](auto& w) { w.sendCwid->click(); }},
            {"12:01:20", "mode ascii", [](auto& w) { w.modes[3]->click(); }},
            {"12:01:21", "baud 100", [](auto& w) { w.bauds[4]->click(); }},
            {"12:01:22", "add bulletin.txt", [](auto& w) {
                 Type(w.fileCombo->lineEdit(), "bulletin.txt");
                 KeyClick(w.fileCombo->lineEdit(), Qt::Key_Return);
             }},
            {"12:01:23", "enable", [](auto& w) { w.enable->click(); }},
        };
        for (const auto& [at, typed, operate] : steps)
            At(std::string("2026-01-01T") + at, [&, typed = typed, window] {
                if (window) operate(W());
                else EXPECT_TRUE(ScenarioTest::Type(typed)) << typed;
            });
        RunUntil(T("2026-01-01T12:02:00"));
        Lines lines = LogLines("20260101");
        lines.push_back(std::to_string(static_cast<int>(station->settings.mode)) + " " +
                        std::to_string(station->settings.baud));
        for (const UartEvent& e : uart.events)
            lines.push_back(std::to_string(e.time.time_since_epoch().count()) + " " + std::to_string(int(e.kind)) +
                            " " + std::to_string(e.value) + (e.keyOn ? " key" : "") + (e.breakOn ? " break" : ""));
        view.reset();
        uart.events.clear();
        return lines;
    };
    const Lines window = session(true);
    TearDown();  // a fresh station in a fresh folder
    SetUp();
    const Lines console = session(false);
    // Both sent the bulletin twice, so the sessions compared are not empty.
    EXPECT_EQ(std::count_if(console.begin(), console.end(),
                            [](auto& line) { return line.ends_with("Completed sending <bulletin.txt>."); }), 2);
    EXPECT_TRUE(window == console) << "the sessions differ";
}

class EditorWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteData("news.txt", "THE NEWS OF THE DAY\n");
        WriteData("schedule.lst", "news.txt\n01/02/2026 10:00:00 wx.txt // keep me\n12/29/2025 08:00:00 news.txt\n");
        dialog.show();
    }
    const ScheduleEditorDialog::Widgets& E() const { return dialog.widgets(); }

    SimulatedClock clock{LocalTimePoint("2026-01-01T12:00:00")};
    StationSettings settings = [] { StationSettings s; s.callsign = "QZ0XB"; return s; }();
    RecordingMessageBox editorBoxes;
    ScheduleEditorDialog dialog{settings, clock, editorBoxes};
};

TEST_F(EditorWindowTest, TheButtonsKeysListAndFieldsDriveTheEditor) {
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Editor" + std::string(60, ' ') + "Q Z 0 X B ");
    ASSERT_EQ(E().list->count(), 2);
    EXPECT_TRUE(E().status->isVisible() && E().status->text().contains("not listed (1 expired"));
    KeyClick(E().list, Qt::Key_Escape);
    Type(E().date, "01/02/2026");
    Type(E().time, "09:00:00");
    Type(E().fileCombo->lineEdit(), "wx.txt");
    E().insert->click();
    E().list->setCurrentRow(2);
    Type(E().time, "11:30:00");  // the date as it was
    Type(E().fileCombo->lineEdit(), "news.txt");
    KeyClick(E().date, Qt::Key_Return);  // shows the file, not Save-n-Exit
    EXPECT_TRUE(dialog.isVisible() && E().text->toPlainText() == "THE NEWS OF THE DAY\n");
    E().replace->click();
    E().list->setCurrentRow(1);
    E().remove->click();
    E().autoTime->click();
    emit E().list->itemDoubleClicked(E().list->item(1));
    EXPECT_EQ(Text(E().time), "11:30:00t");
    Type(E().fileCombo->lineEdit(), "nothing.txt");
    KeyClick(E().date, Qt::Key_Return);
    EXPECT_EQ(editorBoxes.beeps, 1);
    KeyClick(E().date, Qt::Key_Down);
    EXPECT_TRUE(E().fileCombo->view()->isVisible());
    E().fileCombo->hidePopup();
    E().saveExit->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ReadFile("data/schedule.lst"),
              "01/02/2026\t09:00:00\twx.txt\n01/02/2026\t11:30:00\tnews.txt // keep me\n");
}

TEST_F(EditorWindowTest, TheTextPaneWrapsWhereASaveBreaksIt) {
    E().edit->click();
    EXPECT_EQ(E().text->lineWrapColumnOrWidth(), 70);
    E().text->setPlainText(QString(75, 'a'));
    Type(E().fileName, "typed.txt");
    E().editSave->click();
    EXPECT_EQ(ReadFile("data/typed.txt"), std::string(70, 'a') + "\r\r\n" + std::string(5, 'a'));
    EXPECT_NE(E().fileCombo->findText("typed.txt"), -1);
}

TEST_F(EditorWindowTest, TheMainWindowKeepsOneEditorAndTheEditorAloneIsAPlainWindow) {
    QWidget parent;
    ScheduleEditorDialog* first = ShowScheduleEditor(&parent, settings, clock, editorBoxes);
    WriteData("schedule.lst", "news.txt\n");
    EXPECT_EQ(ShowScheduleEditor(&parent, settings, clock, editorBoxes), first);
    EXPECT_EQ(first->widgets().list->count(), 2);  // still showing: not reloaded
    first->widgets().cancel->click();
    EXPECT_EQ(ShowScheduleEditor(&parent, settings, clock, editorBoxes), first);
    EXPECT_TRUE(first->widgets().list->count() == 1 && first->isVisible() && !first->isModal());
    // Port 0: the editor alone returns at once and leaves the loop running.
    ShowScheduleEditorAlone(settings, clock, editorBoxes);
    ScheduleEditorDialog* alone = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* e = dynamic_cast<ScheduleEditorDialog*>(widget); e && !e->parent() && e != &dialog) alone = e;
    ASSERT_NE(alone, nullptr);
    EXPECT_TRUE(alone->isVisible() && !alone->isModal() && alone->testAttribute(Qt::WA_DeleteOnClose));
    alone->close();
}

}  // namespace
}  // namespace sked::test
