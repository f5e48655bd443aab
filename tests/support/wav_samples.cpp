#include "support/wav_samples.h"

#include <sndfile.h>

#include <gtest/gtest.h>

namespace sked::test {

std::vector<std::int16_t> ReadWavSamples(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return {};
    }
    std::vector<std::int16_t> samples;
    if (info.samplerate == 8000 && info.channels == 1) {
        samples.resize(static_cast<std::size_t>(info.frames));
        samples.resize(static_cast<std::size_t>(sf_read_short(file, samples.data(), info.frames)));
    } else {
        ADD_FAILURE() << path << " holds " << info.channels << " channel(s) at " << info.samplerate
                      << " Hz, not mono at 8000 Hz";
    }
    sf_close(file);
    return samples;
}

}  // namespace sked::test
