// The kept settings' file: what is written reads back the same, and what does not read is named with its line.
#include <string>

#include <gtest/gtest.h>

#include "app/kept_settings.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

TEST(KeptSettings, EveryKeptValueReadsBackAsWritten) {
    test::ScratchDirectory dir;
    KeptSettings kept;
    kept.mode = Mode::Psk31, kept.baudButton = 3, kept.pskFrequency = 1800, kept.centreAndShift = false;
    kept.centre = 2210.5, kept.shift = 170, kept.mark = 2125.25, kept.space = 2295;
    kept.soundCard = kDefaultSoundCard, kept.noSound = false, kept.noiseDb = 12.5, kept.fskShaping = true;
    kept.cwTimer = true, kept.header = false, kept.diddle = true, kept.repeat = false;
    kept.netPort = 0, kept.address = "radio.example.org";
    kept.webAddress = "[::1]:8080", kept.webPasswordFile = "/etc/skedcast/http.pass", kept.webPublicStatus = true;
    test::WriteFile("kept.conf", kept.Text());
    KeptSettings read;
    std::string problem;
    ASSERT_TRUE(ReadKeptSettings("kept.conf", read, problem)) << problem;
    EXPECT_EQ(read, kept) << kept.Text();
    EXPECT_EQ(*read.Get("signal", "mode"), "psk31");
    EXPECT_EQ(*read.Get("mirror", "port"), "OFF");
    EXPECT_EQ(*read.Get("sound", "card"), "-1");
    // Nothing kept: only the comment, and a missing file reads as that.
    EXPECT_EQ(KeptSettings().Text().find('['), std::string::npos);
    EXPECT_TRUE(ReadKeptSettings("missing.conf", read, problem));
}

TEST(KeptSettings, ValuesAreTheConsoleWordsInAnyCase) {
    KeptSettings kept;
    EXPECT_EQ(kept.Set("signal", "mode", "MIL"), "");
    EXPECT_EQ(kept.Set("sound", "card", "none"), "");
    EXPECT_EQ(kept.Set("mirror", "port", "off"), "");
    EXPECT_EQ(kept.Set("sending", "header", "On"), "");
    EXPECT_EQ(kept.Summary(), "signal.mode=military sound.card=None sending.header=on mirror.port=OFF");
    EXPECT_EQ(kept.Set("tones", "centre", "0"), "centre wants a frequency in Hz above 0 and below 4000, not \"0\"");
    EXPECT_EQ(kept.Set("mirror", "address", "a b"), "address wants a host name or address, not \"a b\"");
    EXPECT_NE(kept.Set("web", "address", "radio.example.org:80"), "");
    EXPECT_EQ(kept.Set("signal", "psk31_frequency", "1550"),
              "psk31_frequency wants 1500, 1600, 1700, 1800, 1900, 2000 or 2100, not \"1550\"");
    EXPECT_EQ(kept.Set("", "header", "on"), "the key \"header\" belongs in [sending]");
    EXPECT_EQ(kept.Set("colours", "fg", "red"), "unknown key \"fg\" in [colours]");
}

TEST(KeptSettings, AFileThatDoesNotReadNamesItsFirstBadLine) {
    test::ScratchDirectory dir;
    const struct { std::string text, problem; } cases[] = {
        {"[sending]\nheader = on\n\nheader = off\n", "kept.conf line 4: header given twice (first on line 2)"},
        {"[mirror]\naddress = " + std::string(300, 'a') + "\nport = x\n", "kept.conf line 2: longer than 199 characters"},
        {"[signal\nmode = cw\n", "kept.conf line 1: neither a [section] nor a key = value line"},
        {"[signal]\nmode = rtty\nbaud\n", "kept.conf line 2: mode wants ascii, ita2, telex, military, psk31 or cw, "
                                          "not \"rtty\""},
    };
    for (const auto& c : cases) {
        test::WriteFile("kept.conf", c.text);
        KeptSettings kept;
        std::string problem;
        EXPECT_FALSE(ReadKeptSettings("kept.conf", kept, problem));
        EXPECT_EQ(problem, c.problem);
    }
}

}  // namespace
}  // namespace sked
