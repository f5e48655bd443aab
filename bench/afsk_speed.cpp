// How fast the AFSK modulator renders a text, as a multiple of real time:
//   afsk_speed TEXT_FILE ita2|ascii [OUT.wav]
// ita2 sends the text in ITA2 at 45.45 baud, ascii as 8-bit ASCII at 110
// baud; both with the noise floor, at 8000 samples per second. With OUT.wav
// the blocks are also written to that file, as a transmitter feeding a
// recorder would. Prints one line: characters, seconds of audio, seconds
// taken, and the multiple.
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <span>
#include <vector>

#include "audio/afsk_modulator.h"
#include "audio/wav_file.h"
#include "platform/poll_event_loop.h"
#include "transmit/air_encoder.h"

namespace {

// Written as the station writes its sound file: two seconds at a time.
constexpr std::size_t kWavChunkSamples = 16384;


// The codes the station's sender puts out for `text` in ITA2, shifts and line ends included.
std::vector<std::uint32_t> Ita2Codes(const std::string& text) {
    const sked::RealClock clock;
    sked::AirEncoder encoder(clock);
    sked::AirSteps steps;
    for (unsigned char c : text) encoder.EncodeText(c, sked::Mode::Ita2, steps);
    std::vector<std::uint32_t> codes;
    for (const sked::AirStep& step : steps)
        if (step.kind == sked::AirStep::Kind::Code) codes.push_back(static_cast<std::uint32_t>(step.value));
    return codes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: afsk_speed TEXT_FILE ita2|ascii [OUT.wav]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "afsk_speed: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string mode = argv[2];

    sked::AfskSettings settings;
    settings.noise = std::getenv("NOISE") == nullptr;
    std::vector<std::uint32_t> codes;
    if (mode == "ita2") {
        settings.baud = 45.45f;
        settings.wordLength = 0;
        codes = Ita2Codes(text);
    } else if (mode == "ascii") {
        settings.baud = 110.0f;
        settings.wordLength = 3;
        codes.assign(text.begin(), text.end());
    } else {
        std::fprintf(stderr, "afsk_speed: mode %s is neither ita2 nor ascii\n", mode.c_str());
        return 2;
    }

    std::unique_ptr<sked::WavFile> wav;
    if (argc == 4) {
        int error = 0;
        wav = sked::WavFile::Create(argv[3], settings.sampleRate, {.chunkSamples = kWavChunkSamples}, error);
        if (!wav) {
            std::fprintf(stderr, "afsk_speed: cannot create %s: %s\n", argv[3], std::strerror(error));
            return 1;
        }
    }

    sked::PhaseAccumulator phase;
    sked::AfskModulator modulator(settings, phase);
    std::vector<std::int16_t> block(modulator.MaxBlockLength());
    long long checksum = 0;
    std::size_t samples = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::uint32_t code : codes) {
        // A block is one sample longer now and then: the characters keep the line's exact pace.
        const std::span<std::int16_t> next(block.data(), modulator.NextBlockLength());
        modulator.Render(code & 0xFFu, next);
        if (wav) wav->Write(next.data(), next.size());
        checksum += next[next.size() / 2];
        samples += next.size();
    }
    if (wav) wav->Close();
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    if (wav && !wav->error().empty()) {
        std::fprintf(stderr, "afsk_speed: %s\n", wav->error().c_str());
        return 1;
    }
    const double audio = static_cast<double>(samples) / settings.sampleRate;
    std::printf("%zu characters, %.0f s of audio in %.3f s: %.0f x real time (checksum %lld)\n", codes.size(),
                audio, taken.count(), audio / taken.count(), checksum);
    return 0;
}
