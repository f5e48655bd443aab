// The schedule editor's file chooser and text pane: the Filename combo's
// files and help lines, showing a file with its estimate, and saving the
// pane with a hard break at every wrap.
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editor/file_chooser.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using Lines = std::vector<std::string>;
using test::ReadFile;
using test::WriteFile;

class EditorFiles : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory("data"); }
    // The combo's items before the 36 help lines.
    Lines Files() const {
        const auto& items = w.fileCombo.Items();
        EXPECT_GE(items.size(), 36u);
        return Lines(items.begin(), items.end() - 36);
    }
    void Touch(const std::string& name, std::chrono::hours age) {
        WriteFile("data/" + name, "x");
        std::filesystem::last_write_time("data/" + name, std::filesystem::file_time_type::clock::now() - age);
    }

    test::ScratchDirectory dir;
    EditorWindow w;
    test::RecordingMessageBox boxes;
    std::string idText;
    FileChooser chooser{w, boxes, idText};
};

TEST_F(EditorFiles, TheListHoldsTheMatchingFilesByNameOrNewestFirstThenTheHelpLines) {
    Touch("b.txt", std::chrono::hours(24));
    Touch("a.txt", std::chrono::hours(48));
    Touch("c.txt", std::chrono::hours(0));
    Touch("notes.doc", std::chrono::hours(1));
    Touch(".schedule.lst.Ab12Cd", std::chrono::hours(0));  // a copy left by a crash
    w.filterField.SetText("*.txt");
    chooser.FillFileList();
    EXPECT_EQ(Files(), (Lines{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(w.fileCombo.Items()[3], "$-- --------------------------------------");
    EXPECT_EQ(w.fileCombo.Items()[3 + 12], " ");  // the identification line, no callsign here
    EXPECT_EQ(w.fileCombo.Items().back(), "$DISABLE  // Disable AutoSend");
    w.sortByDateCheck.SetCheck(1);
    chooser.FillFileList();
    EXPECT_EQ(Files(), (Lines{"c.txt", "b.txt", "a.txt"}));
    w.sortByDateCheck.SetCheck(0);
    w.filterField.SetText("*.*");
    chooser.FillFileList();
    EXPECT_EQ(Files(), (Lines{"a.txt", "b.txt", "c.txt", "notes.doc"}));
}

TEST_F(EditorFiles, ASearchThatFindsNothingSaysSoAndTheHelpLinesStillFollow) {
    WriteFile("data/news.txt", "x");
    const struct {
        const char* filter;
        const char* editText;
    } cases[] = {{"*.wav", "$ ***** No Files Found *****"},
                 {"../*", "$ ***** No Files Found *****"},
                 {"*", "typed.txt"},  // the folder's own entries count as found
                 {"NEWS.TXT", "typed.txt"}};
    for (const auto& c : cases) {
        w.fileCombo.SetEditText("typed.txt");
        w.filterField.SetText(c.filter);
        chooser.FillFileList();
        EXPECT_EQ(w.fileCombo.EditText(), c.editText) << c.filter;
        EXPECT_EQ(w.fileCombo.Count(), c.editText[0] == '$' ? 36 : 37) << c.filter;
    }
}

TEST_F(EditorFiles, PrintFileShowsTheFileWithItsEstimateOrSaysWhyNot) {
    WriteFile("data/k.txt", std::string(1000, 'k'));
    WriteFile("data/five.txt", "abcde");
    WriteFile("data/long.txt", std::string(40000, 'l'));
    WriteFile("data/zero.txt", std::string("ab\0cd", 5));
    std::filesystem::create_directory("data/folder");
    const struct {
        const char* name;
        bool shown;
        std::string text;
        const char* dur;
    } cases[] = {
        {"k.txt", true, std::string(1000, 'k'), "   3:01"},
        {"five.txt", true, "abcde", ""},
        {"long.txt", true, std::string(31998, 'l'), " 121:12"},
        {"zero.txt", true, "ab", ""},
        {"$RX       // Transmitter OFF", false, "[PrintFile :Cannot open $RX       // Transmitter OFF input file.]", ""},
        {"folder", false, "[PrintFile :Cannot open folder input file.]", ""},
        {"../etc/passwd", false, "[PrintFile :Refused ../etc/passwd: not a file of the data folder.]", ""},
    };
    for (const auto& c : cases) {
        w.editCheck.SetCheck(1);
        EXPECT_EQ(chooser.PrintFile(c.name), c.shown) << c.name;
        EXPECT_EQ(w.textPane.Text(), c.text) << c.name;
        EXPECT_EQ(w.durField.Text(), c.dur) << c.name;
        EXPECT_EQ(w.fileNameField.Text(), c.name);
        EXPECT_EQ(w.editCheck.Check(), 0);
    }
}

TEST(EditorLineBreaks, WrapsBecomeCrCrLfAndTypedLineEndsCrLf) {
    const struct {
        const char* text;
        int columns;
        const char* saved;
    } cases[] = {
        {"the quick brown fox", 10, "the quick \r\r\nbrown fox"},
        {"abcdefghijkl", 5, "abcde\r\r\nfghij\r\r\nkl"},
        {"one\ntwo\n", 10, "one\r\ntwo\r\n"},
        {"a b\r\r\nc d\r\n", 10, "a b\r\nc d\r\n"},  // an earlier save read back
        {"", 10, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FileChooser::WithLineBreaks(c.text, c.columns), c.saved) << c.text;
}

TEST_F(EditorFiles, SaveWritesThePaneWrappedAtItsWidthAndListsTheNewFile) {
    w.filterField.SetText("*.txt");
    chooser.Reset();
    w.editCheck.SetCheck(1);
    chooser.CmEdit();  // 70 columns
    const std::string words = "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll mmmm nnnn oooo";
    w.textPane.SetText(words + "\nend");
    w.fileNameField.SetText("new.txt");
    chooser.CmEditSave();
    EXPECT_EQ(ReadFile("data/new.txt"), words.substr(0, 70) + "\r\r\n" + words.substr(70) + "\r\nend");
    EXPECT_EQ(Files(), Lines{"new.txt"});

    w.fileNameField.SetText("../outside.txt");
    chooser.CmEditSave();
    std::filesystem::create_directory("data/dir.txt");
    w.fileNameField.SetText("dir.txt");
    chooser.CmEditSave();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "CmEditSave : Cannot save <../outside.txt>: name a file of the data folder.");
    EXPECT_EQ(boxes.shown[1].text, "CmEditSave : Cannot write <data/dir.txt> file: Is a directory");
    EXPECT_EQ(w.textPane.Text(), words + "\nend");  // nothing typed is lost
    EXPECT_FALSE(std::filesystem::exists("outside.txt"));
}

}  // namespace
}  // namespace sked
