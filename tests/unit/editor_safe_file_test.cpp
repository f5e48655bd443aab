// The editor's files are replaced whole or not at all: a writer killed before
// its rename, or a full disk, leaves the old schedule as it was.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "editor/safe_file.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using test::ReadFile;
using test::ScratchDirectory;
using test::WriteFile;

const std::string kOld = "01/02/2026\t10:00:00\tnews.txt\nwx.txt\n";

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory("data");
        WriteFile("data/schedule.lst", kOld);
    }
    // Names in data/ other than the schedule (left-over copies).
    static std::vector<std::string> Others() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator("data"))
            if (entry.path().filename() != "schedule.lst") names.push_back(entry.path().filename());
        return names;
    }
    // Runs `write` in a child process and returns its wait status.
    template <typename F>
    static int InChild(F write) {
        pid_t pid = ::fork();
        if (pid == 0) {
            write();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }

    ScratchDirectory dir;
};

TEST_F(SafeFile, ReplacesTheWholeFileAndKeepsItsPermissions) {
    ::chmod("data/schedule.lst", 0640);
    std::string problem;
    ASSERT_TRUE(ReplaceFile("data/schedule.lst", "wx.txt\n", problem)) << problem;
    EXPECT_EQ(ReadFile("data/schedule.lst"), "wx.txt\n");
    struct stat st {};
    ::stat("data/schedule.lst", &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(Others().empty());
}

TEST_F(SafeFile, AWriterKilledBeforeItsRenameLeavesTheOldSchedule) {
    const std::string bigger(100000, 'x');
    int status = InChild([&] {
        std::string problem;
        ReplaceFile("data/schedule.lst", bigger, problem, [] { ::_exit(9); });
    });
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 9);  // killed at the point between writing and renaming
    EXPECT_EQ(ReadFile("data/schedule.lst"), kOld);
    // The copy it left is hidden from the file list.
    ASSERT_EQ(Others().size(), 1u);
    EXPECT_EQ(Others()[0][0], '.');
}

TEST_F(SafeFile, AFullDiskLeavesTheOldScheduleAndSaysWhy) {
    // The file size limit makes writes fail as a full disk does.
    int status = InChild([] {
        struct rlimit limit {1000, 1000};
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string problem;
        bool written = ReplaceFile("data/schedule.lst", std::string(5000, 'x'), problem);
        ::_exit(!written && problem == "File too large" ? 0 : 1);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile("data/schedule.lst"), kOld);
    EXPECT_TRUE(Others().empty());
}

TEST_F(SafeFile, FailuresNameTheReason) {
    std::filesystem::create_directory("data/folder");
    const struct {
        const char* path;
        const char* problem;
    } cases[] = {{"data/folder", "Is a directory"},
                 {"missing/schedule.lst", "No such file or directory"},
                 {"data/", "Is a directory"}};
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_FALSE(ReplaceFile(c.path, "x\n", problem)) << c.path;
        EXPECT_EQ(problem, c.problem) << c.path;
    }
    EXPECT_EQ(ReadFile("data/schedule.lst"), kOld);
}

}  // namespace
}  // namespace sked
