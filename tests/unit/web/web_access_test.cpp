#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "app/run_options.h"
#include "web/web_access.h"

namespace sked::web {
namespace {

using std::chrono::hours;
using std::chrono::seconds;

TEST(LoginLimiter, AllowsABurstThenOneGuessPerRefill) {
    LoginLimiter limiter;
    const Steady t0{};
    for (int i = 0; i < LoginLimiter::kBurst; ++i) EXPECT_TRUE(limiter.Allow("192.0.2.1", t0)) << i;
    EXPECT_FALSE(limiter.Allow("192.0.2.1", t0));
    EXPECT_TRUE(limiter.Allow("192.0.2.2", t0)) << "another address has its own count";
    EXPECT_FALSE(limiter.Allow("192.0.2.1", t0 + LoginLimiter::kRefill - seconds(1)));
    EXPECT_TRUE(limiter.Allow("192.0.2.1", t0 + LoginLimiter::kRefill));
    EXPECT_FALSE(limiter.Allow("192.0.2.1", t0 + LoginLimiter::kRefill));
    limiter.Succeeded("192.0.2.1");
    EXPECT_TRUE(limiter.Allow("192.0.2.1", t0 + LoginLimiter::kRefill));
}

TEST(Sessions, FindsItsTokenOnlyAndForgetsIdleOnes) {
    Sessions sessions;
    const Steady t0{};
    std::string first, second;
    const std::string csrf = sessions.Open(t0, first).csrf;
    sessions.Open(t0, second);
    ASSERT_NE(first, second);
    ASSERT_NE(sessions.Find(first, t0 + hours(1)), nullptr);
    EXPECT_EQ(sessions.Find(first, t0 + hours(1))->csrf, csrf);
    EXPECT_EQ(sessions.Find(first + "0", t0), nullptr);
    EXPECT_EQ(sessions.Find("", t0), nullptr);
    // Used an hour in, so still there 12 hours later; the other one has gone idle.
    EXPECT_NE(sessions.Find(first, t0 + hours(13)), nullptr);
    EXPECT_EQ(sessions.Find(second, t0 + hours(13)), nullptr);
    sessions.Close(first);
    EXPECT_EQ(sessions.Find(first, t0 + hours(13)), nullptr);
}

TEST(Sessions, ManyLoginsForgetTheLeastRecentlyUsed) {
    Sessions sessions;
    std::string oldest, token;
    sessions.Open(Steady{}, oldest);
    for (std::size_t i = 0; i < Sessions::kMaxSessions; ++i) sessions.Open(Steady{} + seconds(i + 1), token);
    EXPECT_EQ(sessions.Count(), Sessions::kMaxSessions);
    EXPECT_EQ(sessions.Find(oldest, Steady{} + seconds(100)), nullptr);
    EXPECT_NE(sessions.Find(token, Steady{} + seconds(100)), nullptr);
}

TEST(UploadName, OnlyPlainNamesInsideData) {
    for (const char* name : {"news.txt", "WX-2026_12.TXT", "a"}) EXPECT_EQ(UploadNameProblem(name), "") << name;
    for (const char* name : {"", "../x.txt", "/etc/passwd", "wx/today.txt", "..", ".hidden", "a b.txt", "a\\b",
                             "schedule.lst", "Schedule.LST", "n\xc3\xa9ws.txt"})
        EXPECT_NE(UploadNameProblem(name), "") << name;
    EXPECT_EQ(UploadNameProblem(std::string(kMaxUploadName, 'a')), "");
    EXPECT_NE(UploadNameProblem(std::string(kMaxUploadName + 1, 'a')), "");
}

TEST(PasswordHash, WrittenReadAndChecked) {
    char folder[] = "/tmp/skedcast-hash.XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/hash";
    std::string problem;
    ASSERT_TRUE(WritePasswordHash(path, "correct horse", problem)) << problem;
    const auto hash = ReadPasswordHash(path, problem);
    ASSERT_TRUE(hash) << problem;
    EXPECT_TRUE(PasswordMatches(*hash, "correct horse"));
    EXPECT_FALSE(PasswordMatches(*hash, "correct horsE"));
    EXPECT_FALSE(PasswordMatches(*hash, ""));
    std::ofstream(path) << "correct horse\n";
    EXPECT_FALSE(ReadPasswordHash(path, problem));
    EXPECT_NE(problem.find("not a password hash"), std::string::npos) << problem;
    EXPECT_FALSE(ReadPasswordHash(path + ".missing", problem));
    EXPECT_NE(problem.find("hash.missing"), std::string::npos) << problem;
}

TEST(HttpOption, AddressesAndTheLoopbackRule) {
    std::string host, problem;
    int port = -1;
    ASSERT_TRUE(ParseHttpAddress("8080", host, port, problem));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 8080);
    ASSERT_TRUE(ParseHttpAddress("[::1]:0", host, port, problem));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 0);
    for (const char* bad : {"", "host.example:80", "127.0.0.1:65536", "127.0.0.1:", "[::1]80", "1.2.3:80"})
        EXPECT_FALSE(ParseHttpAddress(bad, host, port, problem)) << bad;
    EXPECT_TRUE(IsLoopbackAddress("127.3.2.1"));
    EXPECT_TRUE(IsLoopbackAddress("::1"));
    EXPECT_FALSE(IsLoopbackAddress("0.0.0.0"));
    EXPECT_FALSE(IsLoopbackAddress("::"));
    EXPECT_FALSE(IsLoopbackAddress("128.0.0.1"));

    auto parse = [](std::vector<std::string> words) {
        words.insert(words.begin(), "skedcast");
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        return ParseRunOptions(static_cast<int>(argv.size()), argv.data());
    };
    EXPECT_NE(parse({"--http=0.0.0.0:8080", "QZ0XB"}).error.find("--http-password-file"), std::string::npos);
    EXPECT_EQ(parse({"--http=0.0.0.0:8080", "--http-password-file=h", "QZ0XB"}).error, "");
    EXPECT_EQ(parse({"--http=8080", "QZ0XB"}).error, "");
    EXPECT_NE(parse({"--http-public-status", "QZ0XB"}).error, "");
    EXPECT_NE(parse({"--http=8080", "--http-cert=c.pem", "QZ0XB"}).error, "");
}

}  // namespace
}  // namespace sked::web
