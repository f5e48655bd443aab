// The serial line trace: one tab-separated line per port event, flushed at
// once so that the record is complete up to the moment a station is stopped.
//   2024-03-01 12:00:00.000<TAB>0x2F8<TAB>frame<TAB>0x1F bits=5 stop=1.5 baud=45.46
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "serial/uart_timeline.h"

namespace sked {

// The line for one event, without its line end.
std::string FormatUartEvent(const UartEvent& event);

class UartTraceWriter : public UartObserver {
public:
    // Creates (or truncates, or with `append` extends) the trace file; throws
    // std::runtime_error naming the file and the reason when it cannot.
    explicit UartTraceWriter(const std::string& path, bool append = false);
    ~UartTraceWriter() override;
    UartTraceWriter(const UartTraceWriter&) = delete;
    UartTraceWriter& operator=(const UartTraceWriter&) = delete;

    void OnUartEvent(const UartEvent& event) override;

    const std::string& path() const { return path_; }
    // The first write failure ("" while all is well); the trace goes on trying.
    const std::string& error() const { return error_; }
    // Told the first write failure, once: a trace lost without a word is no record.
    void SetProblemReporter(std::function<void(const std::string& problem)> reporter) {
        reporter_ = std::move(reporter);
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::string error_;
    std::function<void(const std::string&)> reporter_;
};

}  // namespace sked
