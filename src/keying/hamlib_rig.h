// A rig keyed through Hamlib: a model on its own device and speed, or a
// rig behind rigctld (Hamlib's network model). Keying is set_ptt, checked
// with get_ptt where the rig reports it; errors are Hamlib's own texts.
//
// Hamlib's calls wait for the rig, each at most kAnswerTime: the station
// asks only at a keying, a release, a frequency change and once a second
// while keyed. A rig that stopped answering is opened again when next asked.
// A TCP connection cannot be released from a crash handler: the rig's own
// transmit time-out is the guard there.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "keying/keying_device.h"

struct s_rig;

namespace sked {

class HamlibRig : public KeyingDevice {
public:
    static constexpr std::chrono::milliseconds kAnswerTime{1000};

    struct Model {
        int number = 0;       // Hamlib's rig model
        std::string device;   // "" for the model's default
        int speed = 0;        // serial speed; 0 for the model's default
    };
    // The rig opened and released. Nothing, with Hamlib's reason, when it cannot be.
    static std::unique_ptr<HamlibRig> Open(const Model& model, std::string& why);
    static std::unique_ptr<HamlibRig> OpenRigctld(const std::string& host, int port, std::string& why);
    ~HamlibRig() override;
    HamlibRig(const HamlibRig&) = delete;
    HamlibRig& operator=(const HamlibRig&) = delete;

    std::string Name() const override { return name_; }
    bool Present() override;
    std::string WhyAbsent() const override { return problem_; }
    bool SetKey(bool down, std::string& why) override;
    bool KeyDown() const override { return down_; }
    std::string CheckKeyed() override;
    bool SetsFrequency() const override { return true; }
    std::optional<double> SetFrequency(double hertz, std::string& why) override;

private:
    HamlibRig(Model model, std::string name);
    bool Connect(std::string& why);
    void Disconnect();
    // Hamlib's text for `status`, remembered as the reason the rig is not there.
    std::string Failed(const char* what, int status);

    Model model_;
    std::string name_;
    s_rig* rig_ = nullptr;
    bool open_ = false;
    bool down_ = false;
    std::string problem_;
};

}  // namespace sked
