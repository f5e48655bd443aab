// The keying devices besides the serial line, on the simulated clock: how --ptt reads, what the serial line's own
// commands do under another device, the rig's frequency (Hamlib's dummy rig, in process), and a device that
// refuses the release, retried until it takes it.
#include "keying/ptt_setting.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

TEST(PttSetting, ReadsEveryDeviceAndSaysWhatAWrongOneWants) {
    PttSetting s;
    ASSERT_EQ(ReadPttSetting("hamlib:3073:/dev/ttyUSB0:19200", s), "");
    EXPECT_EQ(std::tuple(s.kind, s.model, s.device, s.speed),
              std::tuple(PttSetting::Kind::Hamlib, 3073, "/dev/ttyUSB0", 19200));
    ASSERT_EQ(ReadPttSetting("rigctld:[::1]:4533", s), "");
    EXPECT_EQ(std::tuple(s.kind, s.host, s.port), std::tuple(PttSetting::Kind::Rigctld, "::1", 4533));
    ASSERT_EQ(ReadPttSetting("rigctld:shack", s), "");
    EXPECT_EQ(std::tuple(s.host, s.port), std::tuple("shack", PttSetting::kRigctldPort));
    ASSERT_EQ(ReadPttSetting("cm108:/dev/hidraw2", s), "");
    EXPECT_EQ(std::tuple(s.kind, s.hidraw, s.pin), std::tuple(PttSetting::Kind::Cm108, "/dev/hidraw2", 3));
    ASSERT_EQ(ReadPttSetting("gpio:gpiochip0:17:active-low", s), "");
    EXPECT_EQ(std::tuple(s.kind, s.chip, s.line, s.activeLow), std::tuple(PttSetting::Kind::Gpio, "gpiochip0", 17u, true));
    for (const char* wrong : {"", "rts", "hamlib:", "hamlib:x", "hamlib:1:/dev/x:fast", "rigctld", "rigctld:", "rigctld:h:0",
                              "rigctld:[::1", "cm108:", "cm108:/dev/hidraw0:9", "gpio:chip", "gpio:chip:-1",
                              "gpio:chip:4:high"}) {
        const PttSetting before = s;
        EXPECT_NE(ReadPttSetting(wrong, s), "") << wrong;
        EXPECT_EQ(s.text, before.text) << wrong;  // left as it was
    }
}

class KeyingDevices : public ScenarioTest {
protected:
    void Use(const std::string& ptt) {
        PttSetting setting;
        ASSERT_EQ(ReadPttSetting(ptt, setting), "");
        std::string why;
        auto device = OpenKeyingDevice(setting, why);
        ASSERT_TRUE(device) << why;
        station->transmitter.UseKeyingDevice(std::move(device));
    }
};

TEST_F(KeyingDevices, TheSerialLinesCommandsDoNotApplyAndOnlyARigSetsAFrequency) {
    WriteFile("keying.rec", "");
    WriteData({{"b.txt", "RYRY\n"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 $DTR", "$COM3", "$FREQ=7040", "b.txt"}));
    Use("gpio:keying.rec:4");
    RunUntil(T("2026-01-01T12:02:00"));
    const std::string device = "GPIO line 4 of keying.rec (emulated)";
    EXPECT_TRUE(Logged("$DTR : does not apply: " + device + " keys the transmitter"));
    EXPECT_TRUE(Logged("$COM3 : does not apply: " + device + " keys the transmitter"));
    EXPECT_TRUE(Logged("Frequency : " + device + " sets no frequency: rig control does (--ptt=hamlib: or rigctld:)"));
    EXPECT_TRUE(Logged("Completed sending <b.txt>."));
    EXPECT_EQ(std::tuple(station->settings.portNumber, station->settings.keyLine), std::tuple(2, KeyLine::Rts));
    EXPECT_EQ(ReadFile("keying.rec"), "4=0\n4=1\n4=0\n");
    EXPECT_EQ(LastWrite(UartEventKind::kMcr, 0x2F8) & 3, 0u);  // the serial line's RTS never up

    // Hamlib's dummy rig: the frequency set before the next keying, at once when the transmitter is off.
    Use("hamlib:1");
    ASSERT_TRUE(Type("tx"));
    EXPECT_EQ(station->commands.RigFrequency("14085"), "");
    EXPECT_FALSE(Logged("Frequency : 14085.000 kHz set; the rig reports 14085.000 kHz"));
    ASSERT_TRUE(Type("rx"));
    EXPECT_TRUE(Logged("Frequency : 14085.000 kHz set; the rig reports 14085.000 kHz"));
    EXPECT_NE(station->commands.RigFrequency("14,085"), "");
}

// A device that refuses the release: the refusal logged once, the release tried every five seconds until taken.
TEST_F(KeyingDevices, ARefusedReleaseIsRetriedUntilTaken) {
    struct Stubborn : KeyingDevice {
        int refusals = 3, releases = 0;
        bool down = false;
        std::string Name() const override { return "the test's device"; }
        bool Present() override { return true; }
        bool SetKey(bool on, std::string& why) override {
            if (!on && refusals > 0) return --refusals, why = "the test's device: refused", false;
            releases += on ? 0 : 1;
            return down = on, true;
        }
        bool KeyDown() const override { return down; }
    };
    ASSERT_TRUE(Start());
    auto owned = std::make_unique<Stubborn>();
    Stubborn& device = *owned;
    station->transmitter.UseKeyingDevice(std::move(owned));
    ASSERT_TRUE(Type("tx"));
    ASSERT_TRUE(Type("rx"));
    EXPECT_TRUE(device.down);
    RunFor(11s);
    EXPECT_TRUE(device.down);
    RunFor(5s);
    EXPECT_FALSE(device.down);
    EXPECT_EQ(StampsOf("Keying : the test's device: refused; the key is retried off every 5 seconds.").size(), 1u);
    EXPECT_TRUE(Logged("Keying : the test's device took the release: the key is off."));
}

}  // namespace
}  // namespace sked::test
