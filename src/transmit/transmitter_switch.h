// Transmitter on and off: the network mirror, the keying line, and the
// signal path of the mode (PSK31 carrier or the audio tone generator).
#pragma once

#include <functional>
#include <memory>

namespace sked {

class CSchedulerDlg;
class ToneGenerator;

class TransmitterSwitch {
public:
    using GeneratorFactory = std::function<std::unique_ptr<ToneGenerator>()>;

    explicit TransmitterSwitch(CSchedulerDlg& dlg);
    ~TransmitterSwitch();

    void CmTX();
    void CmRX();

    // The audio back end supplies tone generators; none means no audio.
    void SetGeneratorFactory(GeneratorFactory factory) { makeGenerator_ = std::move(factory); }
    ToneGenerator* Generator() const { return generator_.get(); }

private:
    void SetTonePair();
    void SetToneFieldsWritable();

    CSchedulerDlg& dlg_;
    GeneratorFactory makeGenerator_;
    std::unique_ptr<ToneGenerator> generator_;
    // A failed network link left the station switched "on" for its caller
    // without keying: the caller's CmRX must still bring it back to idle.
    bool linkFailed_ = false;
};

}  // namespace sked
