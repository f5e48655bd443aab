#include "app/serial_backend.h"

#include <cstdio>
#include <stdexcept>

#include "audio/onair_renderer.h"
#include "serial/emulated_ports.h"
#include "serial/ioports.h"
#include "serial/tty_line.h"
#include "serial/uart_trace_writer.h"

namespace sked {

namespace {
// Recording failures after the start (a full disk, a folder gone) would otherwise pass unseen.
void ReportOnStandardError(const std::string& problem) { std::fprintf(stderr, "skedcast: %s\n", problem.c_str()); }
}  // namespace

SerialBackend::~SerialBackend() = default;

void SerialBackend::Finish(TimePoint end) {
    if (emulated) emulated->Sync();
    if (onAir) onAir->Finish(end);
}

std::unique_ptr<SerialBackend> MakeSerialBackend(const RunOptions& options, const Clock& clock) {
    auto backend = std::make_unique<SerialBackend>();
    switch (options.serial) {
        case RunOptions::Serial::Emulated: {
            auto ports = std::make_unique<EmulatedPorts>(clock);
            if (!options.serialArgument.empty()) {
                backend->trace = std::make_unique<UartTraceWriter>(options.serialArgument);
                if (!backend->trace->error().empty()) throw std::runtime_error(backend->trace->error());
                backend->trace->SetProblemReporter(ReportOnStandardError);
                ports->AddObserver(backend->trace.get());
            }
            if (!options.onAirFile.empty()) {
                backend->onAir = std::make_unique<OnAirRenderer>(
                    OpenOnAirRecording(options.onAirFile, OnAirRenderer::kSampleRate));
                // Later failures (a full disk, a folder gone) would otherwise pass unseen.
                backend->onAir->SetProblemReporter(ReportOnStandardError);
                backend->onAir->Begin(clock.Now());
                ports->AddObserver(backend->onAir.get());
            }
            backend->emulated = ports.get();
            backend->description = "emulated 16550";
            backend->ports = std::move(ports);
            break;
        }
        case RunOptions::Serial::IoPorts:
            backend->ports = std::make_unique<IoPorts>(clock);
            backend->description = "direct port access";
            break;
        case RunOptions::Serial::Tty:
            backend->ports = std::make_unique<TtyPorts>(clock, options.serialArgument);
            backend->description =
                options.serialArgument.empty() ? "tty (COMn = /dev/ttyS(n-1))" : "tty " + options.serialArgument;
            break;
    }
    return backend;
}

}  // namespace sked
