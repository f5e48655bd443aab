#include "keying/hamlib_rig.h"

#include <hamlib/rig.h>

namespace sked {

namespace {

void SetConfig(RIG* rig, const char* name, const std::string& value) {
    if (!value.empty()) rig_set_conf(rig, rig_token_lookup(rig, name), value.c_str());
}

}  // namespace

HamlibRig::HamlibRig(Model model, std::string name) : model_(std::move(model)), name_(std::move(name)) {}

std::unique_ptr<HamlibRig> HamlibRig::Open(const Model& model, std::string& why) {
    std::string name = "rig control (Hamlib model " + std::to_string(model.number);
    if (!model.device.empty()) name += " on " + model.device;
    std::unique_ptr<HamlibRig> rig(new HamlibRig(model, name + ")"));
    if (!rig->Connect(why) || !rig->SetKey(false, why)) return nullptr;
    return rig;
}

std::unique_ptr<HamlibRig> HamlibRig::OpenRigctld(const std::string& host, int port, std::string& why) {
    const bool v6 = host.find(':') != std::string::npos;
    const std::string address = (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
    std::unique_ptr<HamlibRig> rig(new HamlibRig({RIG_MODEL_NETRIGCTL, address, 0}, "rig control (rigctld " + address + ")"));
    if (!rig->Connect(why) || !rig->SetKey(false, why)) return nullptr;
    return rig;
}

HamlibRig::~HamlibRig() {
    std::string ignored;
    if (open_) SetKey(false, ignored);
    Disconnect();
}

std::string HamlibRig::Failed(const char* what, int status) {
    // Hamlib's text alone (rigerror adds its debugging record), its first line.
    std::string text = rigerror2(status);
    text = text.substr(0, text.find('\n'));
    problem_ = name_ + ": " + what + ": " + text;
    return problem_;
}

bool HamlibRig::Connect(std::string& why) {
    Disconnect();
    // Hamlib's own reports would fill the station's standard error.
    rig_set_debug(RIG_DEBUG_NONE);
    rig_ = rig_init(static_cast<rig_model_t>(model_.number));
    if (!rig_) {
        why = problem_ = name_ + ": Hamlib has no rig model " + std::to_string(model_.number);
        return false;
    }
    SetConfig(rig_, "rig_pathname", model_.device);
    if (model_.speed > 0) SetConfig(rig_, "serial_speed", std::to_string(model_.speed));
    SetConfig(rig_, "timeout", std::to_string(kAnswerTime.count()));
    SetConfig(rig_, "retry", "0");
    // The key is set through the rig's own commands; a model that names no keying (the dummy rig) is given them.
    if (rig_->state.pttport.type.ptt == RIG_PTT_NONE) SetConfig(rig_, "ptt_type", "RIG");
    if (const int status = rig_open(rig_); status != RIG_OK) {
        why = Failed("cannot be opened", status);
        Disconnect();
        return false;
    }
    // What the rig reports is asked of the rig, never an earlier answer kept by Hamlib.
    rig_set_cache_timeout_ms(rig_, HAMLIB_CACHE_ALL, 0);
    open_ = true;
    problem_.clear();
    return true;
}

void HamlibRig::Disconnect() {
    if (!rig_) return;
    if (open_) rig_close(rig_);
    rig_cleanup(rig_);
    rig_ = nullptr;
    open_ = false;
}

bool HamlibRig::Present() {
    std::string ignored;
    return open_ || Connect(ignored);
}

bool HamlibRig::SetKey(bool down, std::string& why) {
    down_ = down;
    if (!open_ && !Connect(why)) return false;
    const int status = rig_set_ptt(rig_, RIG_VFO_CURR, down ? RIG_PTT_ON : RIG_PTT_OFF);
    if (status == RIG_OK) return true;
    why = Failed(down ? "the key was not taken" : "the release was not taken", status);
    Disconnect();
    return false;
}

std::string HamlibRig::CheckKeyed() {
    if (!open_) return problem_.empty() ? name_ + " is not open" : problem_;
    ptt_t ptt = RIG_PTT_OFF;
    const int status = rig_get_ptt(rig_, RIG_VFO_CURR, &ptt);
    // A rig that cannot report its key is taken at its word.
    if (status == -RIG_ENAVAIL || status == -RIG_ENIMPL) return "";
    if (status != RIG_OK) {
        const std::string why = Failed("does not answer", status);
        Disconnect();
        return why;
    }
    if (down_ && ptt == RIG_PTT_OFF) return name_ + " reports its key off";
    return "";
}

std::optional<double> HamlibRig::SetFrequency(double hertz, std::string& why) {
    if (!open_ && !Connect(why)) return std::nullopt;
    int status = rig_set_freq(rig_, RIG_VFO_CURR, hertz);
    freq_t reported = 0;
    if (status == RIG_OK) status = rig_get_freq(rig_, RIG_VFO_CURR, &reported);
    if (status == RIG_OK) return reported;
    why = Failed("the frequency was not taken", status);
    Disconnect();
    return std::nullopt;
}

}  // namespace sked
