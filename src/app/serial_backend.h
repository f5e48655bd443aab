// Picks the serial back end that --serial names and, for the emulated ports,
// attaches the line trace and the on-air rendering.
#pragma once

#include <memory>
#include <string>

#include "app/run_options.h"
#include "platform/clock.h"
#include "serial/serial_line.h"

namespace sked {

class EmulatedPorts;
class UartTraceWriter;
class OnAirRenderer;

struct SerialBackend {
    std::unique_ptr<SerialPorts> ports;
    EmulatedPorts* emulated = nullptr;  // when the ports are the emulated ones
    std::unique_ptr<UartTraceWriter> trace;
    std::unique_ptr<OnAirRenderer> onAir;
    std::string description;  // for the start-up message

    ~SerialBackend();
    // Writes out what is still owed to the trace and the WAV file.
    void Finish(TimePoint end);
};

// Throws std::runtime_error naming the file or folder and the reason when a
// trace or WAV file (or the folder of --onair=DIR/) cannot be created.
std::unique_ptr<SerialBackend> MakeSerialBackend(const RunOptions& options, const Clock& clock);

}  // namespace sked
