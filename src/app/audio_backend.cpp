#include "app/audio_backend.h"

#include "audio/alsa_wave_device.h"
#include "audio/paced_wave_device.h"

namespace sked {

std::unique_ptr<WaveDevice> MakeAudioBackend(const RunOptions& options, const Clock& clock) {
    switch (options.audio) {
        case RunOptions::Audio::Alsa: {
            AlsaWaveDevice::Options alsa;
            if (!options.audioArgument.empty()) alsa.defaultPcm = options.audioArgument;
            return std::make_unique<AlsaWaveDevice>(clock, alsa);
        }
        case RunOptions::Audio::WavFile:
            return std::make_unique<PacedWaveDevice>(clock, options.audioArgument);
        case RunOptions::Audio::Null:
            break;
    }
    return std::make_unique<PacedWaveDevice>(clock);
}

}  // namespace sked
