// The schedule editor's window on the offscreen platform: the operator's
// clicks, keys and typing go to the real widgets; the schedule files and the
// widgets are read back.
#include <filesystem>
#include <memory>
#include <string>

#include <QLabel>
#include <QSlider>
#include <QTextEdit>

#include "gui/schedule_editor_dialog.h"
#include "main_window_fixture.h"
#include "platform/simulated_event_loop.h"

namespace sked::test {
namespace {

class EditorWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteData("news.txt", "THE NEWS OF THE DAY\nRYRYRYRY\n");
        WriteData("wx.txt", std::string(606, 'w'));
        WriteData("bulletin.txt", std::string(3300, 'b'));
    }
    void TearDown() override {
        dialog.reset();
        MainWindowTest::TearDown();
    }
    // Opens the editor on `schedule` as data/schedule.lst.
    void OpenEditor(const std::string& schedule) {
        WriteData("schedule.lst", schedule);
        dialog = std::make_unique<ScheduleEditorDialog>(state, clock, editorBoxes);
        dialog->resize(900, 720);
        dialog->show();
    }
    const ScheduleEditorDialog::Widgets& E() const { return dialog->widgets(); }
    std::string Row(int row) const { return E().list->item(row)->text().toStdString(); }
    void Fields(const std::string& date, const std::string& time, const std::string& name) {
        Type(E().date, date);
        Type(E().time, time);
        Type(E().fileCombo->lineEdit(), name);
    }

    SimulatedClock clock{LocalTimePoint("2026-01-01T12:00:00")};
    StationState state;
    RecordingMessageBox editorBoxes;
    std::unique_ptr<ScheduleEditorDialog> dialog;
};

TEST_F(EditorWindowTest, TheListShowsTheScheduleInColumnsAndAScreenshotIsTaken) {
    OpenEditor("01/01/2026 12:00:00 bulletin.txt   // the noon bulletin, dated\n"
               "news.txt\n$B50\n01/01/2026 13:30:00 wx.txt\ngone.txt\n12/29/2025 08:00:00 news.txt\n");
    ASSERT_EQ(E().list->count(), 5);
    EXPECT_EQ(Row(0).substr(0, 34), "01/01/2026  12:00:00t bulletin.txt");
    EXPECT_EQ(Row(4).find("???"), 22u + 35 + 1);
    EXPECT_TRUE(E().list->font().fixedPitch() || QFontInfo(E().list->font()).fixedPitch());
    EXPECT_TRUE(E().status->isVisible());
    EXPECT_NE(E().status->text().indexOf("1 line of data/schedule.lst not listed (1 expired"), -1);
    Click(E().autoTime);
    // After the bulletin's 3300 bytes at the 50 baud the last load ended with.
    EXPECT_EQ(Row(1).substr(0, 20), "01/01/2026  12:08:15");
    E().list->setCurrentRow(1);
    emit E().list->itemDoubleClicked(E().list->item(1));
    Screenshot(dialog.get(), "editor.png");
}

TEST_F(EditorWindowTest, InsertWithAutoTimeOffAndOn) {
    OpenEditor("news.txt\n");
    Fields("01/02/2026", "09:00:00", "wx.txt");
    Click(E().insert);
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "01/02/2026\t09:00:00\twx.txt\nnews.txt\n");
    EXPECT_EQ(E().fileCombo->currentText().toStdString(), "");
    EXPECT_EQ(Row(0).substr(0, 21), "01/02/2026  09:00:00t");

    Click(E().autoTime);
    EXPECT_TRUE(E().autoTime->isChecked());
    ClickRow(E().list, 1);
    Fields("", "", "bulletin.txt");
    Click(E().insert);
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "01/02/2026\t09:00:00\twx.txt\nbulletin.txt\nnews.txt\n");
    // Timed after the dated entry's 100 seconds, and news.txt after its 544.
    EXPECT_EQ(Row(1).substr(0, 20), "01/02/2026  09:01:40");
    EXPECT_EQ(Row(2).substr(0, 20), "01/02/2026  09:10:44");
    EXPECT_EQ(ReadFile("data/schedule.lst"), "news.txt\n");
}

TEST_F(EditorWindowTest, ReplaceDeleteAndSaveNExitWriteTheFile) {
    OpenEditor("news.txt\n01/02/2026 10:00:00 wx.txt // keep me\nbulletin.txt\n");
    ClickRow(E().list, 1);
    Fields("01/02/2026", "11:30:00", "news.txt");
    Click(E().replace);
    ClickRow(E().list, 0);
    Click(E().remove);
    EXPECT_EQ(E().list->count(), 2);
    EXPECT_EQ(ReadFile("data/schedule.lst"), "news.txt\n01/02/2026 10:00:00 wx.txt // keep me\nbulletin.txt\n");
    Click(E().saveExit);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ReadFile("data/schedule.lst"), "01/02/2026\t11:30:00\tnews.txt // keep me\nbulletin.txt\n");
    EXPECT_TRUE(editorBoxes.shown.empty());
}

TEST_F(EditorWindowTest, CancelDiscardsTheEditsAndTheNextShowingReloads) {
    OpenEditor("news.txt\nwx.txt\n");
    ClickRow(E().list, 0);
    Click(E().remove);
    Click(E().cancel);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ReadFile("data/schedule.lst"), "news.txt\nwx.txt\n");
    dialog->show();
    ASSERT_EQ(E().list->count(), 2);
    EXPECT_EQ(Row(0).substr(22, 8), "news.txt");
}

TEST_F(EditorWindowTest, EscapeDoesNotCloseAndEnterInTheDateFieldShowsTheCombosFile) {
    OpenEditor("news.txt\n");
    KeyClick(E().list, Qt::Key_Escape);
    KeyClick(E().date, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    Type(E().fileCombo->lineEdit(), "news.txt");
    KeyClick(E().date, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());  // not Save-n-Exit
    EXPECT_EQ(E().text->toPlainText().toStdString(), "THE NEWS OF THE DAY\nRYRYRYRY\n");
    EXPECT_EQ(Text(E().fileName), "news.txt");
    EXPECT_FALSE(std::filesystem::exists("data/schedule.tmp"));
    Type(E().fileCombo->lineEdit(), "nothing.txt");
    KeyClick(E().date, Qt::Key_Return);
    EXPECT_EQ(editorBoxes.beeps, 1);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(EditorWindowTest, DoubleClickFillsTheFieldsAndShowsTheFile) {
    OpenEditor("01/02/2026 10:00:00 news.txt\nwx.txt\n");
    emit E().list->itemDoubleClicked(E().list->item(0));
    EXPECT_EQ(Text(E().date), "01/02/2026");
    EXPECT_EQ(Text(E().time), "10:00:00t");
    EXPECT_EQ(E().fileCombo->currentText().toStdString(), "news.txt");
    EXPECT_EQ(E().text->toPlainText().toStdString(), "THE NEWS OF THE DAY\nRYRYRYRY\n");
    EXPECT_TRUE(E().text->isReadOnly());
    emit E().list->itemDoubleClicked(E().list->item(1));
    EXPECT_EQ(Text(E().date), "");
    EXPECT_EQ(E().fileCombo->currentText().toStdString(), "wx.txt");
    EXPECT_EQ(Text(E().dur), "   1:50");
}

TEST_F(EditorWindowTest, TheTextPaneSavesWhatIsTypedWrappedAtTheRuler) {
    OpenEditor("");
    Click(E().edit);
    EXPECT_FALSE(E().text->isReadOnly());
    EXPECT_EQ(E().text->lineWrapColumnOrWidth(), 70);
    E().text->setPlainText(QString(75, 'a'));
    Type(E().fileName, "typed.txt");
    Click(E().editSave);
    EXPECT_EQ(ReadFile("data/typed.txt"), std::string(70, 'a') + "\r\r\n" + std::string(5, 'a'));
    EXPECT_NE(E().fileCombo->findText("typed.txt"), -1);
}

TEST_F(EditorWindowTest, TheMainWindowShowsOneEditorReloadedAtEachFreshShowing) {
    WriteData("schedule.lst", "news.txt\n");
    QWidget parent;
    ScheduleEditorDialog* first = ShowScheduleEditor(&parent, state, clock, editorBoxes);
    ASSERT_TRUE(first->isVisible());
    EXPECT_EQ(first->widgets().list->count(), 1);
    WriteData("schedule.lst", "news.txt\nwx.txt\n");
    EXPECT_EQ(ShowScheduleEditor(&parent, state, clock, editorBoxes), first);
    EXPECT_EQ(first->widgets().list->count(), 1);  // still showing: not reloaded
    first->reject();
    EXPECT_EQ(ShowScheduleEditor(&parent, state, clock, editorBoxes), first);
    EXPECT_EQ(first->widgets().list->count(), 2);
}

}  // namespace
}  // namespace sked::test
