#include "keying/ptt_setting.h"

#include <charconv>
#include <vector>

#include "keying/cm108_keyer.h"
#include "keying/gpio_keyer.h"
#include "keying/hamlib_rig.h"

namespace sked {

namespace {

constexpr int kHighestSpeed = 4'000'000;
constexpr int kHighestPort = 65535;

std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t colon = text.find(':', at);
        fields.push_back(text.substr(at, colon == std::string_view::npos ? colon : colon - at));
        if (colon == std::string_view::npos) return fields;
        at = colon + 1;
    }
}

// A whole number from `lowest` to `highest`, nothing else.
bool ReadWhole(std::string_view text, long lowest, long highest, long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= lowest && value <= highest;
}

std::string ReadHamlib(const std::vector<std::string_view>& f, PttSetting& s) {
    long model = 0, speed = 0;
    if (f.size() < 2 || f.size() > 4 || !ReadWhole(f[1], 1, kHighestSpeed, model))
        return "hamlib:MODEL[:DEVICE[:SPEED]] with the rig's Hamlib model number (rigctl -l lists them)";
    if (f.size() == 4 && !ReadWhole(f[3], 1, kHighestSpeed, speed)) return "a serial speed in baud after the device";
    s.model = static_cast<int>(model);
    s.device = f.size() > 2 ? std::string(f[2]) : "";
    s.speed = static_cast<int>(speed);
    return "";
}

std::string ReadRigctld(std::string_view rest, PttSetting& s) {
    // HOST, HOST:PORT, [IPv6] or [IPv6]:PORT.
    std::string_view host = rest, port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) return "a closing ] after the IPv6 address";
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') return "HOST[:PORT] after rigctld:";
            port = rest.substr(close + 2);
        }
    } else if (const std::size_t colon = rest.find(':'); colon != std::string_view::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    long number = PttSetting::kRigctldPort;
    if (host.empty()) return "rigctld:HOST[:PORT], the host rigctld listens on";
    if (!port.empty() && !ReadWhole(port, 1, kHighestPort, number)) return "a TCP port from 1 to 65535 after the host";
    s.host = std::string(host);
    s.port = static_cast<int>(number);
    return "";
}

std::string ReadCm108(const std::vector<std::string_view>& f, PttSetting& s) {
    long pin = PttSetting::kCm108Pin;
    if (f.size() < 2 || f.size() > 3 || f[1].empty()) return "cm108:/dev/hidrawN[:PIN]";
    if (f.size() == 3 && !ReadWhole(f[2], 1, PttSetting::kCm108Pins, pin)) return "a GPIO pin from 1 to 8";
    s.hidraw = std::string(f[1]);
    s.pin = static_cast<int>(pin);
    return "";
}

std::string ReadGpio(const std::vector<std::string_view>& f, PttSetting& s) {
    long line = 0;
    if (f.size() < 3 || f.size() > 4 || f[1].empty() || !ReadWhole(f[2], 0, kHighestPort, line))
        return "gpio:CHIP:LINE[:active-low], with the line's number on its chip";
    if (f.size() == 4 && f[3] != "active-low") return "active-low, or nothing, after the line";
    s.chip = std::string(f[1]);
    s.line = static_cast<unsigned>(line);
    s.activeLow = f.size() == 4;
    return "";
}

}  // namespace

std::string ReadPttSetting(std::string_view text, PttSetting& setting) {
    PttSetting s;
    s.text = std::string(text);
    const std::vector<std::string_view> f = Fields(text);
    std::string wants;
    if (text == "serial") s.kind = PttSetting::Kind::Serial;
    else if (f[0] == "hamlib") s.kind = PttSetting::Kind::Hamlib, wants = ReadHamlib(f, s);
    else if (f[0] == "rigctld" && f.size() > 1)
        s.kind = PttSetting::Kind::Rigctld, wants = ReadRigctld(text.substr(f[0].size() + 1), s);
    else if (f[0] == "cm108") s.kind = PttSetting::Kind::Cm108, wants = ReadCm108(f, s);
    else if (f[0] == "gpio") s.kind = PttSetting::Kind::Gpio, wants = ReadGpio(f, s);
    else if (f[0] == "rigctld") wants = "rigctld:HOST[:PORT], the host rigctld listens on";
    else wants = "serial, hamlib:, rigctld:, cm108: or gpio:";
    if (!wants.empty()) return wants;
    setting = std::move(s);
    return "";
}

std::unique_ptr<KeyingDevice> OpenKeyingDevice(const PttSetting& setting, std::string& why) {
    switch (setting.kind) {
        case PttSetting::Kind::Serial: break;
        case PttSetting::Kind::Hamlib:
            return HamlibRig::Open({setting.model, setting.device, setting.speed}, why);
        case PttSetting::Kind::Rigctld:
            return HamlibRig::OpenRigctld(setting.host, setting.port, why);
        case PttSetting::Kind::Cm108: return Cm108Keyer::Open(setting.hidraw, setting.pin, why);
        case PttSetting::Kind::Gpio: return OpenGpioKeyer(setting.chip, setting.line, setting.activeLow, why);
    }
    why = "the serial keying line is the station's own";
    return nullptr;
}

}  // namespace sked
