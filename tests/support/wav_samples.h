// The samples of a mono 16-bit WAV file the station wrote, for tests that listen to what went to the sound card.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sked::test {

// Every sample of `path`; nothing, and a test failure naming the file, when it cannot be read or is not 8000 Hz mono.
std::vector<std::int16_t> ReadWavSamples(const std::string& path);

}  // namespace sked::test
