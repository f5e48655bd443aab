// The sound card's device as the options choose it: ALSA, a WAV file paced
// by the clock in use, or nothing at all (paced the same way).
#pragma once

#include <memory>

#include "app/run_options.h"
#include "platform/clock.h"
#include "audio/wave_device.h"

namespace sked {

std::unique_ptr<WaveDevice> MakeAudioBackend(const RunOptions& options, const Clock& clock);

}  // namespace sked
