// How fast the PSK31 modem and its BPSK31 waveform render a text, as a multiple of real time:
//   psk31_speed TEXT_FILE [OUT.wav]
// The text is fed to the modem as the station feeds it (at most two codes waiting) on a
// simulated clock, and every symbol is rendered at 1500 Hz, 8000 samples per second. With OUT.wav
// the blocks are also written to that file. Prints one line: characters, seconds of audio,
// seconds taken, and the multiple.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "audio/psk31_modulator.h"
#include "platform/simulated_event_loop.h"
#include "audio/wav_file.h"
#include "transmit/psk_modem.h"

// Written as the station writes its sound file: two seconds at a time.
constexpr std::size_t kWavChunkSamples = 16384;

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: psk31_speed TEXT_FILE [OUT.wav]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "psk31_speed: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr int kRate = sked::Psk31Modulator::kSampleRate;

    std::unique_ptr<sked::WavFile> wav;
    if (argc == 3) {
        int error = 0;
        wav = sked::WavFile::Create(argv[2], kRate, {.chunkSamples = kWavChunkSamples}, error);
        if (!wav) {
            std::fprintf(stderr, "psk31_speed: cannot create %s\n", argv[2]);
            return 1;
        }
    }

    sked::SimulatedClock clock{sked::TimePoint(std::chrono::seconds(1'700'000'000))};
    sked::PskModem modem(clock);
    sked::Psk31Modulator modulator;
    std::vector<std::int16_t> block(sked::Psk31Modulator::kSymbolSamples);
    std::uint64_t samples = 0;
    modem.SetSymbolSink([&](sked::TimePoint, sked::PskSymbol symbol) {
        modulator.Render(symbol, 1500, block);
        samples += block.size();
        if (wav) wav->Write(block.data(), block.size());
    });

    const auto start = std::chrono::steady_clock::now();
    modem.StartOnCard(-1);
    modem.SetTone(1500);
    modem.StartTransmitting();
    for (unsigned char c : text) {
        while (modem.CodesQueued() > sked::PskModem::kMostQueued) clock.AdvanceTo(modem.NextChange());
        modem.QueueCharacter(c);
    }
    modem.EndAfterQueue();
    clock.AdvanceTo(modem.TransmitEnd());
    modem.Poll();
    const double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (wav) wav->Flush();

    const double audio = static_cast<double>(samples) / kRate;
    std::printf("%zu characters, %.1f s of audio in %.3f s: %.0f x real time\n", text.size(), audio, taken,
                taken > 0 ? audio / taken : 0.0);
    return 0;
}
