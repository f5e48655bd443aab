#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/console_front_end.h"
#include "console/line_reader.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

constexpr const char* kTooLong = "<too long>";

std::vector<std::string> Drain(LineReader& reader) {
    std::vector<std::string> lines;
    while (auto line = reader.Next()) lines.push_back(line->tooLong ? kTooLong : line->text);
    return lines;
}

// Long lines shown by their length in failure messages.
std::vector<std::string> Abbreviated(std::vector<std::string> lines) {
    for (auto& line : lines)
        if (line.size() > 20) line = line.substr(0, 10) + "... (" + std::to_string(line.size()) + " bytes)";
    return lines;
}

TEST(LineReader, LinesAreAssembledFromThePiecesInput) {
    const std::string full(LineReader::kMaxLine, 'x');
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        bool endOfInput;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"pieces split anywhere", {"sta", "tus\nque", "ue\n", "\n"}, false, {"status", "queue", ""}},
        {"CR LF, also split between pieces", {"enable\r\n", "send\r", "\ncwid\n"}, false, {"enable", "send", "cwid"}},
        {"a last line without its end", {"help\nqu", "it"}, true, {"help", "quit"}},
        {"nothing before the end of input", {"help\nqu", "it"}, false, {"help"}},
        {"a full line with CR LF", {full + "\r", "\n"}, false, {full}},
        {"one byte too many, said once", {full + "x", "yz\r\nrx\n"}, false, {kTooLong, "rx"}},
        {"one byte too many before the line end", {full + "x\ntx\n"}, false, {kTooLong, "tx"}},
        {"too long at the end of input", {"ok\n", full, full}, true, {"ok", kTooLong}},
    };
    for (const Case& c : cases) {
        LineReader reader;
        for (const auto& chunk : c.chunks) reader.Push(chunk);
        if (c.endOfInput) reader.Finish();
        EXPECT_EQ(Abbreviated(Drain(reader)), Abbreviated(c.lines)) << c.name;
    }
}

// Bytes taken from the heap, large blocks included. The address sanitizer keeps
// its own heap, which this does not see.
std::size_t HeapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Ten megabytes without a line end, as standard input may deliver them: the
// reader keeps no more than a line's worth and the next line still works.
TEST(LineReader, EndlessLineKeepsMemoryBoundedAndTheNextLineWorks) {
    LineReader reader;
    const std::string chunk(512, 'A');
    std::size_t before = HeapInUse();
    for (int i = 0; i < 10 * 1024 * 1024 / 512; ++i) reader.Push(chunk);
    std::size_t after = HeapInUse();
    EXPECT_LT(after - std::min(before, after), 64u * 1024) << "bytes held after 10 MB without a line end";
    reader.Push("\r\nstatus\r\n");
    EXPECT_EQ(Drain(reader), (std::vector<std::string>{kTooLong, "status"}));
}

// The console reads standard input through the reader: an over-long line is
// refused with a message, and the commands after it run.
class ConsoleInput : public test::StationTest {};

TEST_F(ConsoleInput, OverlongLineIsDiscardedWithAMessage) {
    ASSERT_TRUE(StartStation());
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    auto console = std::make_unique<ConsoleFrontEnd>(*station, out);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string input = std::string(10000, 'e') + "\r\nenable\r\nqueue";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    console->WatchInput(fds[0]);
    RunFor(std::chrono::seconds(2));
    console.reset();
    std::fclose(out);
    std::string output(buffer, size);
    std::free(buffer);
    ::close(fds[0]);
    EXPECT_EQ(output, "input line longer than 4096 bytes discarded\n  (queue empty)\n");
    EXPECT_TRUE(Logged("CmEnable : Scheduler ENABLED"));
}

}  // namespace
}  // namespace sked
