#include "console/line_reader.h"

#include <malloc.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sked {
namespace {

constexpr const char* kTooLong = "<too long>";

// Lines longer than 20 bytes are given by their length, for readable failures.
std::vector<std::string> Drain(LineReader& reader) {
    std::vector<std::string> lines;
    while (auto line = reader.Next()) {
        std::string text = line->tooLong ? kTooLong : line->text;
        lines.push_back(text.size() > 20 ? std::to_string(text.size()) + " bytes" : text);
    }
    return lines;
}

TEST(LineReader, LinesAreAssembledFromThePiecesInput) {
    const std::string full(LineReader::kMaxLine, 'x'), fullLine = std::to_string(LineReader::kMaxLine) + " bytes";
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
        {"a full line with CR LF", {full + "\r", "\n"}, false, {fullLine}},
        {"one byte too many, said once", {full + "x", "yz\r\nrx\n"}, false, {kTooLong, "rx"}},
        {"one byte too many before the line end", {full + "x\ntx\n"}, false, {kTooLong, "tx"}},
        {"too long at the end of input", {"ok\n", full, full}, true, {"ok", kTooLong}},
    };
    for (const Case& c : cases) {
        LineReader reader;
        for (const auto& chunk : c.chunks) reader.Push(chunk);
        if (c.endOfInput) reader.Finish();
        EXPECT_EQ(Drain(reader), c.lines) << c.name;
    }
}

// Ten megabytes without a line end, as standard input may deliver them: the
// reader keeps no more than a line's worth and the next line still works.
// (The address sanitizer keeps its own heap, which mallinfo2 does not see.)
TEST(LineReader, EndlessLineKeepsMemoryBoundedAndTheNextLineWorks) {
    auto heapInUse = [] {
        struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    LineReader reader;
    const std::string chunk(512, 'A');
    std::size_t before = heapInUse();
    for (int i = 0; i < 10 * 1024 * 1024 / 512; ++i) reader.Push(chunk);
    std::size_t after = heapInUse();
    EXPECT_LT(after - std::min(before, after), 64u * 1024) << "bytes held after 10 MB without a line end";
    reader.Push("\r\nstatus\r\n");
    EXPECT_EQ(Drain(reader), (std::vector<std::string>{kTooLong, "status"}));
}

}  // namespace
}  // namespace sked
