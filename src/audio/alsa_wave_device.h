// Wave output on a real sound card through ALSA. Device index -1 opens the
// PCM named at construction ("default"), 0..3 the first to fourth card
// ("plughw:0".."plughw:3", converting the rate if the card must).
//
// One period is one block and the ring holds three; playback starts when two
// periods are in the ring, so nothing is heard until the second block. A
// device thread moves the submitted blocks into the ring in order, at the
// card's pace; a block is done as soon as it is in the ring. Only that thread
// touches the PCM while the device is open (alsa-lib handles are not shared
// between threads). An underrun is recovered and counted; a card that goes
// away (a USB card unplugged) ends the device with an error.
#pragma once

#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "audio/wave_device.h"

typedef struct _snd_pcm snd_pcm_t;
typedef struct _snd_config snd_config_t;

namespace sked {

// A sound card for the station's list: the station numbers cards from 1 (its
// "1" opens device index 0, "plughw:0").
struct AlsaCard {
    int deviceIndex = 0;
    std::string name;
    std::string Label() const { return std::to_string(deviceIndex + 1) + " " + name; }  // "1 USB Audio CODEC"
};
// The cards present among the first four.
std::vector<AlsaCard> ListAlsaCards();

class AlsaWaveDevice : public WaveDevice {
public:
    struct Options {
        std::string defaultPcm = "default";  // what device index -1 opens
        // When set, PCM names are looked up in this ALSA configuration file
        // alone instead of the system's (tests, unusual set-ups).
        std::string configFile;
    };

    explicit AlsaWaveDevice(const Clock& clock) : AlsaWaveDevice(clock, Options{}) {}
    AlsaWaveDevice(const Clock& clock, Options options);
    ~AlsaWaveDevice() override;
    AlsaWaveDevice(const AlsaWaveDevice&) = delete;
    AlsaWaveDevice& operator=(const AlsaWaveDevice&) = delete;

    // The PCM a device index opens; "" when the index names no device.
    std::string PcmName(int deviceIndex) const;

    std::error_code Open(const WaveFormat& format, int framesPerBuffer, int deviceIndex) override;
    std::error_code Submit(std::span<const std::int16_t> block) override;
    std::error_code Restart() override;
    std::error_code Reset() override;
    // Lets the ring play out (bounded by its length and a second) unless the
    // device failed; blocks not yet in the ring are discarded.
    std::error_code Close() override;

    std::uint64_t BlocksDone() override;
    std::uint64_t Underruns() override;
    // The card keeps its own time: TimePoint::max().
    TimePoint NextChange() override;
    std::error_code WaitForChange(TimePoint deadline) override;

    std::string Problem() const override;

private:
    std::error_code Configure(const std::string& name, const WaveFormat& format, int framesPerBuffer);
    void Run();
    // Writes what the front block has left; false when the ring is full.
    bool WriteFront();
    // A failure of the PCM (ALSA's negative error): the device ends.
    void Fail(int alsaError, const std::string& what);
    void Wake();
    void Drain();
    void ReleasePcm();

    const Clock& clock_;
    const Options options_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    snd_pcm_t* pcm_ = nullptr;
    snd_config_t* config_ = nullptr;
    int wakeFd_ = -1;
    std::string pcmName_;
    int rate_ = 8000;
    unsigned long bufferFrames_ = 0;
    // The device thread's own: when the audio written so far ends if played
    // at the nominal rate. Holds the thread to that pace when a PCM takes
    // samples faster than it plays them.
    std::chrono::steady_clock::time_point paceEnd_{};

    bool open_ = false;
    bool paused_ = true;
    bool resetRequested_ = false;
    bool stopRequested_ = false;
    std::uint64_t resetsServed_ = 0;
    std::deque<std::vector<std::int16_t>> queue_;  // submitted blocks not yet in the ring
    std::vector<std::vector<std::int16_t>> spare_;  // their buffers, kept for the next blocks
    std::size_t offset_ = 0;                        // frames of the front block already in the ring
    std::uint64_t done_ = 0;
    std::uint64_t underruns_ = 0;
    std::error_code error_;
    std::string problem_;
};

}  // namespace sked
