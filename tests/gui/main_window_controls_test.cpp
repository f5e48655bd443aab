// The window's keys, the Mode and Baud groups, the tone fields, the About box
// and the window itself (title, icon, size).
#include <QAbstractItemView>
#include <QAction>
#include <QGroupBox>
#include <QListWidget>
#include <QRadioButton>

#include "app/about_listing.h"
#include "gui/about_dialog.h"
#include "gui/display_box.h"
#include "main_window_fixture.h"

namespace sked::test {
namespace {

const std::string kBulletin = "qst de qz0xb\nthe band is open\n";

TEST_F(MainWindowTest, EnterInTheFileNameFieldShowsThatFileOnly) {
    WriteData("bulletin.txt", kBulletin);
    Open();
    Click(W().edit);  // editing: the file name field takes typing
    Type(W().fileName, "bulletin.txt");
    KeyClick(W().fileName, Qt::Key_Return);
    // Military mode shows the file in capitals.
    EXPECT_EQ(W().display->toPlainText().toStdString(), "QST DE QZ0XB\nTHE BAND IS OPEN\n");
    EXPECT_EQ(W().scheduleList->count(), 0);
    EXPECT_EQ(boxes.beeps, 0);
}

TEST_F(MainWindowTest, EnterElsewhereShowsTheFileListsTextAndQueuesIt) {
    WriteData("bulletin.txt", kBulletin);
    Open();
    Type(W().fileCombo->lineEdit(), "missing.txt");
    KeyClick(W().fileCombo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(boxes.beeps, 1);
    EXPECT_EQ(W().scheduleList->count(), 0);

    Type(W().fileCombo->lineEdit(), "bulletin.txt");
    W().ry->setFocus();  // Enter on a button is the window's Enter too, never a press
    KeyClick(W().ry, Qt::Key_Return);
    EXPECT_EQ(W().display->toPlainText().toStdString(), "QST DE QZ0XB\nTHE BAND IS OPEN\n");
    ASSERT_EQ(W().scheduleList->count(), 1);
    EXPECT_EQ(W().scheduleList->item(0)->text().toStdString(), "01/01/2026 12:00:10 bulletin.txt");
    EXPECT_FALSE(station->state.sending);
}

TEST_F(MainWindowTest, EnterInTheDisplayMakesANewLineWhileComposing) {
    WriteData("compose.txt", "HELLO");
    Open();
    Click(W().compose);
    ASSERT_FALSE(W().display->isReadOnly());
    W().display->setFocus();
    W().display->moveCursor(QTextCursor::End);
    KeyClick(W().display, Qt::Key_Return);
    KeyClicks(W().display, "WORLD");
    EXPECT_EQ(station->window.displayBox.Text(), "HELLO\nWORLD");
    EXPECT_EQ(W().scheduleList->count(), 0);
}

TEST_F(MainWindowTest, EscapeNeverClosesAndDownOpensTheFileList) {
    Open();
    W().scheduleList->setFocus();
    KeyClick(W().scheduleList, Qt::Key_Escape);
    EXPECT_TRUE(view->isVisible());
    EXPECT_FALSE(loop->QuitRequested());

    KeyClick(W().scheduleList, Qt::Key_Down);
    EXPECT_TRUE(W().fileCombo->view()->isVisible());
    W().fileCombo->hidePopup();
}

struct ModeCase {
    const char* name;
    int modeButton;  // index into the window's mode radios
    const char* groupCaption;
    const char* firstCaption;
    const char* lastCaption;
};

void PrintTo(const ModeCase& c, std::ostream* out) { *out << c.name; }

class ModeButtonTest : public MainWindowTest, public ::testing::WithParamInterface<std::vector<ModeCase>> {};

TEST_P(ModeButtonTest, RelabelTheBaudGroup) {
    Open();
    Pick(W().soundCard, 1);  // "-1 Auto": PSK31 needs a sound card
    ASSERT_EQ(station->window.soundCardCombo.CurSel(), 1);
    for (const ModeCase& c : GetParam()) {
        SCOPED_TRACE(c.name);
        Click(W().modes[c.modeButton]);
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(W().modes[i]->isChecked(), i == c.modeButton) << i;
        EXPECT_EQ(W().baudGroup->title().toStdString(), c.groupCaption);
        EXPECT_EQ(W().bauds[0]->text().toStdString(), c.firstCaption);
        EXPECT_EQ(W().bauds[6]->text().toStdString(), c.lastCaption);
    }
}

// Mil 0, ASCII 3, PSK31 4, CW 6: CW keeps whichever layout was there.
INSTANTIATE_TEST_SUITE_P(
    Sequences, ModeButtonTest,
    ::testing::Values(std::vector<ModeCase>{{"psk31", 4, "TX Freq", "1500", "2100"},
                                            {"mil", 0, "Baud", " 45.45", "300.0"}},
                      std::vector<ModeCase>{{"psk31", 4, "TX Freq", "1500", "2100"},
                                            {"cw", 6, "TX Freq", "1500", "2100"},
                                            {"ascii", 3, "Baud", " 45.45", "300.0"}}),
    [](const auto& info) { return "Sequence" + std::to_string(info.index); });

TEST_F(MainWindowTest, ABaudButtonInPsk31ChoosesTheFrequencyOnly) {
    Open();
    Pick(W().soundCard, 1);
    Click(W().modes[4]);
    Click(W().bauds[2]);
    EXPECT_FLOAT_EQ(station->state.pskFrequency, 1700.0f);
    EXPECT_FLOAT_EQ(station->state.baud, 45.45f);
    EXPECT_TRUE(W().bauds[2]->isChecked());
    EXPECT_FALSE(W().bauds[0]->isChecked());
    EXPECT_EQ(W().centre->text().trimmed().toStdString(), "1700.000");
    EXPECT_TRUE(W().shift->isReadOnly());
}

TEST_F(MainWindowTest, ToneEntryStyleSwapsWhichFieldsTakeTyping) {
    Open();
    // No sound card: the centre and shift fields are greyed.
    EXPECT_FALSE(W().centre->isEnabled());
    Pick(W().soundCard, 2);  // card "1"
    EXPECT_TRUE(W().centre->isEnabled());
    EXPECT_TRUE(W().centreShiftStyle->isChecked());
    EXPECT_FALSE(W().centre->isReadOnly());
    EXPECT_TRUE(W().mark->isReadOnly());

    Click(W().markSpaceStyle);
    EXPECT_TRUE(W().markSpaceStyle->isChecked());
    EXPECT_FALSE(W().centreShiftStyle->isChecked());
    EXPECT_TRUE(W().centre->isReadOnly());
    EXPECT_TRUE(W().shift->isReadOnly());
    EXPECT_FALSE(W().mark->isReadOnly());
    EXPECT_FALSE(W().space->isReadOnly());
    Type(W().mark, "1275");
    EXPECT_EQ(station->state.tones.mark, "1275");
    EXPECT_EQ(W().mark->text().toStdString(), "1275");

    Click(W().centreShiftStyle);
    EXPECT_FALSE(W().centre->isReadOnly());
    EXPECT_TRUE(W().mark->isReadOnly());
}

TEST_F(MainWindowTest, TheAboutBoxListsTheLiveSettingsOnceAtEveryOpening) {
    Open();
    W().aboutAction->trigger();
    AboutDialog* about = view->about();
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(about->isVisible());
    auto item = [about](int i) { return about->list()->item(i)->text().toStdString(); };
    const auto expected = AboutListing(station->state);
    ASSERT_EQ(about->list()->count(), static_cast<int>(expected.size()));
    EXPECT_EQ(item(1), "Q Z 0 X B  RTTY broadcast transmitter.");
    EXPECT_EQ(item(3), "Comport is set to 0x2F8");
    EXPECT_EQ(item(4), "Baud Rate is set to 45.450001.");
    EXPECT_EQ(item(5), "Data Bits is set to 5 Bits.");
    EXPECT_EQ(item(6), "Mode is set to Military.");
    EXPECT_EQ(item(7), "Using RTS line for transmit control");
    EXPECT_EQ(item(37), "$CWID     // de QZ0XB QZ0XB ");
    Screenshot(about, "about.png");
    // Opened again while open: the same box, the list not doubled.
    W().aboutAction->trigger();
    EXPECT_EQ(about->list()->count(), static_cast<int>(expected.size()));
    about->accept();

    Click(W().modes[3]);  // ASCII: 8 data bits
    Pick(W().soundCard, 1);
    Click(W().modes[4]);  // PSK31, named as such
    W().aboutAction->trigger();
    EXPECT_EQ(view->about(), about);
    EXPECT_EQ(view->findChildren<AboutDialog*>().size(), 1);
    EXPECT_EQ(about->list()->count(), static_cast<int>(expected.size()));
    EXPECT_EQ(item(5), "Data Bits is set to 8 BITS.");
    EXPECT_EQ(item(6), "Mode is set to PSK31.");
    about->accept();
}

TEST_F(MainWindowTest, TitleIconAndSmallScreen) {
    Open("qz0x 2 dtr");
    EXPECT_EQ(view->windowTitle().toStdString(), "Scheduler" + std::string(62, ' ') + "Q Z 0 X ");
    EXPECT_FALSE(view->windowIcon().pixmap(32, 32).isNull());
    // Everything fits a 1024 by 600 screen with room for a title bar.
    const QSize least = view->minimumSizeHint();
    EXPECT_LE(least.width(), 1024);
    EXPECT_LE(least.height(), 570);
    EXPECT_EQ(view->size(), QSize(1024, 600));
    Screenshot(view.get(), "main-window-idle.png");
}

}  // namespace
}  // namespace sked::test
