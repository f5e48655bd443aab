#include <vector>

#include <gtest/gtest.h>

#include "app/run_options.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

RunOptions Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "skedcast");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return ParseRunOptions(static_cast<int>(args.size()), argv.data());
}

TEST(RunOptions, DoubleDashOptionsAreNotStationParameters) {
    RunOptions o = Parse({"--headless", "qz0xb", "--serial=tty:/dev/ttyUSB0", "2", "RTS"});
    EXPECT_TRUE(o.error.empty()) << o.error;
    EXPECT_EQ(o.parameters, (std::vector<std::string>{"qz0xb", "2", "RTS"}));
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.serial, RunOptions::Serial::Tty);
    EXPECT_EQ(o.serialArgument, "/dev/ttyUSB0");
}

TEST(RunOptions, SimulateImpliesTheEmulatedPortUnlessOneIsNamed) {
    RunOptions o = Parse({"--simulate=2026-01-01T23:59:58", "--run-for=5", "QZ0XB"});
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.serial, RunOptions::Serial::Emulated);
    EXPECT_EQ(o.simulateFrom, std::chrono::system_clock::to_time_t(test::LocalTimePoint("2026-01-01T23:59:58")));
    ASSERT_TRUE(o.runFor.has_value());
    EXPECT_DOUBLE_EQ(*o.runFor, 5.0);

    RunOptions tty = Parse({"--simulate", "--serial=tty:/dev/pts/9", "QZ0XB"});
    EXPECT_EQ(tty.serial, RunOptions::Serial::Tty);
    EXPECT_EQ(tty.simulateFrom, 0);
}

TEST(RunOptions, BadValuesAreReportedWithTheReason) {
    EXPECT_NE(Parse({"--simulate=yesterday", "QZ0XB"}).error.find("yesterday"), std::string::npos);
    EXPECT_NE(Parse({"--run-for=soon", "QZ0XB"}).error.find("soon"), std::string::npos);
    EXPECT_NE(Parse({"--serial=usb", "QZ0XB"}).error.find("usb"), std::string::npos);
    EXPECT_NE(Parse({"--bogus", "QZ0XB"}).error.find("--bogus"), std::string::npos);
    EXPECT_FALSE(Parse({"--serial=tty", "--onair=x.wav", "QZ0XB"}).error.empty());
    EXPECT_TRUE(Parse({"--serial=emulated:t.txt", "--onair=x.wav", "QZ0XB"}).error.empty());
}

}  // namespace
}  // namespace sked
