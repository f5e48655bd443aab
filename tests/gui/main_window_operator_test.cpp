// The operator's main paths through the window: automatic sending, a
// transmission paused, resumed and cancelled, entries added, and the window
// closed in the middle of a file.
#include <QPlainTextEdit>
#include <QTextCursor>

#include "gui/display_box.h"
#include "main_window_fixture.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

// 60 characters: ten seconds on the air at 45.45 baud.
const std::string kBulletin = "QST QST DE QZ0XB BULLETIN NUMBER ONE\nTHE BAND IS OPEN TODAY\n";

std::string Trimmed(const QLineEdit* field) { return field->text().trimmed().toStdString(); }

TEST_F(MainWindowTest, EnabledStationSendsTheDueEntryAndTheFieldsFollowIt) {
    WriteData("bulletin.txt", kBulletin);
    Open();
    Click(W().header);  // no header or footer around the bulletin
    Queue(T("2026-01-01T12:00:20"), "bulletin.txt");
    ASSERT_EQ(W().scheduleList->count(), 1);
    EXPECT_EQ(Trimmed(W().autoSend), "DISABLED");

    Click(W().enable);
    EXPECT_EQ(Trimmed(W().autoSend), "ENABLE");
    bool sawSending = false;
    At("2026-01-01T12:00:30", [&] {
        sawSending = true;
        EXPECT_EQ(Text(W().queueLine), "TXFile : Sending file <bulletin.txt>.");
        EXPECT_EQ(Trimmed(W().transmit), "ON");
        EXPECT_EQ(Text(W().fileName), "bulletin.txt");
        // The character going out is the one selected in the display.
        const EditControl& model = station->window.displayBox;
        ASSERT_GT(model.SelectionEnd(), model.SelectionStart());
        EXPECT_EQ(W().display->textCursor().selectedText().toStdString(),
                  kBulletin.substr(static_cast<std::size_t>(model.SelectionStart()), 1));
        const int left = std::stoi(Text(W().charCount).substr(2));
        EXPECT_EQ(left, static_cast<int>(kBulletin.size()) - model.SelectionEnd());
        EXPECT_TRUE(W().display->isReadOnly());
        Screenshot(view.get(), "main-window-sending.png");
    });
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_TRUE(sawSending);
    EXPECT_EQ(Text(W().queueLine), "Completed sending <bulletin.txt>.");
    EXPECT_EQ(Trimmed(W().transmit), "OFF");
    EXPECT_EQ(W().scheduleList->count(), 0);
    EXPECT_FALSE(KeyLineUp());
}

TEST_F(MainWindowTest, PauseResumeAndCancelActBetweenCharactersOfATestText) {
    WriteData("thefox.txt", std::string(20, 'X') + "\n" + "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\n");
    Open();
    const TimePoint start = Now();
    const TimePoint pauseAt = start + 6s, resumeAt = start + 9s, cancelAt = start + 12s;
    At(pauseAt, [&] {
        Click(W().pause);
        EXPECT_EQ(Text(W().flow), "PAUSE");
    });
    At(resumeAt, [&] {
        Click(W().resume);
        EXPECT_EQ(Text(W().flow), "RESUME");
    });
    At(cancelAt, [&] {
        Click(W().cancel);
        EXPECT_EQ(Text(W().flow), "CANCEL");
    });
    Click(W().fox);  // the whole test text runs inside the click, as on the station's dialog

    EXPECT_EQ(Now() < start + 20s, true) << "the cancel ended the text early";
    // Paused: nothing after the two characters already in the UART (shifting and held).
    EXPECT_LE(FramesIn(pauseAt, resumeAt).size(), 2u);
    EXPECT_TRUE(FramesIn(pauseAt + 400ms, resumeAt).empty());
    EXPECT_FALSE(FramesIn(resumeAt, resumeAt + 1s).empty());
    // Cancelled: the key comes up at once.
    const auto keying = KeyChanges();
    ASSERT_FALSE(keying.empty());
    EXPECT_FALSE(keying.back().on);
    EXPECT_LE(keying.back().time, cancelAt + 400ms);
    const auto log = LogMessages();
    const int paused = IndexOf(log, "CmPause : Session PAUSED");
    const int resumed = IndexOf(log, "CmResume : Session RESUMED");
    const int cancelled = IndexOf(log, "CmCancel : Session CANCELED");
    ASSERT_GE(paused, 0);
    EXPECT_GT(resumed, paused);
    EXPECT_GT(cancelled, resumed);
    EXPECT_EQ(Trimmed(W().autoSend), "DISABLED");
    EXPECT_EQ(Trimmed(W().transmit), "OFF");
    EXPECT_FALSE(KeyLineUp());
    // Idle again: the display is the operator's once more.
    EXPECT_NE(W().edit->checkState(), Qt::PartiallyChecked);
}

struct FileAddCase {
    const char* name;
    int selectedRow;  // -1: none
    int expectedRow;
    const char* expectedTime;
    const char* followedBy;  // the entry that was selected, now after the new one
};

void PrintTo(const FileAddCase& c, std::ostream* out) { *out << c.name; }

class FileAddTest : public MainWindowTest, public ::testing::WithParamInterface<FileAddCase> {};

TEST_P(FileAddTest, PutsTheTypedNameBeforeTheSelectedEntry) {
    const FileAddCase& c = GetParam();
    WriteData("bulletin.txt", kBulletin);
    Open();
    for (const char* at : {"2026-01-01T17:00:00", "2026-01-01T18:00:00", "2026-01-01T19:00:00"})
        Queue(T(at), "old.txt");
    if (c.selectedRow >= 0) ClickRow(W().scheduleList, c.selectedRow);
    Type(W().fileCombo->lineEdit(), "bulletin.txt");
    Click(W().fileAdd);

    ASSERT_EQ(W().scheduleList->count(), 4);
    EXPECT_EQ(W().scheduleList->item(c.expectedRow)->text().toStdString(),
              std::string("01/01/2026 ") + c.expectedTime + " bulletin.txt");
    EXPECT_EQ(W().fileCombo->currentText().toStdString(), "");
    EXPECT_EQ(W().scheduleList->item(c.expectedRow + 1)->text().toStdString(),
              std::string("01/01/2026 ") + c.followedBy + " old.txt");
}

INSTANTIATE_TEST_SUITE_P(Selection, FileAddTest,
                         ::testing::Values(FileAddCase{"NoSelection", -1, 0, "16:59:50", "17:00:00"},
                                           FileAddCase{"ThirdEntry", 2, 2, "18:59:50", "19:00:00"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, AnEmptyFileAddRefillsTheFileList) {
    Open();
    const int before = W().fileCombo->count();
    WriteData("late.txt", "LATE\n");
    Click(W().fileAdd);
    EXPECT_EQ(W().fileCombo->count(), before + 1);
    EXPECT_EQ(W().fileCombo->itemText(0).toStdString(), "late.txt");
    EXPECT_EQ(W().scheduleList->count(), 0);
}

TEST_F(MainWindowTest, ClosingTheWindowMidFileCancelsAndShutsDownOnlyAfterTheSendReturns) {
    WriteData("bulletin.txt", kBulletin);
    Open();
    Click(W().header);
    Queue(T("2026-01-01T12:00:05"), "bulletin.txt");
    Click(W().enable);
    bool closed = false;
    At("2026-01-01T12:00:15", [&] {
        closed = view->close();
        // Still there: the send that is pumping messages uses it.
        EXPECT_TRUE(view->isVisible());
    });
    RunUntil(T("2026-01-01T12:00:40"));
    EXPECT_FALSE(closed);
    EXPECT_TRUE(loop->QuitRequested());
    const auto log = LogMessages();
    const int cancelled = IndexOf(log, "CmCancel : Session CANCELED");
    ASSERT_GE(cancelled, 0);
    EXPECT_GT(IndexOf(log, "ABORTED sending <bulletin.txt>."), cancelled);
    EXPECT_FALSE(KeyLineUp());

    // What the program does once its loop has returned.
    view->AllowClose();
    station->DestroyWindow();
    EXPECT_TRUE(view->close());
    EXPECT_TRUE(Logged("***** Skedcast has been TERMINATED *****"));
    EXPECT_FALSE(KeyLineUp());
}

}  // namespace
}  // namespace sked::test
