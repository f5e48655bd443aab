#include "serial/uart_trace_writer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sked {

namespace {

const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

const char* StopBitsText(int halfBits) {
    switch (halfBits) {
    case 2: return "1";
    case 3: return "1.5";
    case 4: return "2";
    default: return "?";
    }
}

}  // namespace

std::string FormatUartEvent(const UartEvent& event) {
    char details[96];
    switch (event.kind) {
    case UartEventKind::kLcr:
    case UartEventKind::kIer:
        std::snprintf(details, sizeof details, "0x%02X", event.value);
        break;
    case UartEventKind::kDivisor:
        std::snprintf(details, sizeof details, "%u", event.divisor);
        break;
    case UartEventKind::kMcr:
        std::snprintf(details, sizeof details, "0x%02X key=%s power=%s", event.value, OnOff(event.keyOn),
                      OnOff(event.powerOn));
        break;
    case UartEventKind::kBreak:
        std::snprintf(details, sizeof details, "%s", OnOff(event.breakOn));
        break;
    case UartEventKind::kFrame:
        std::snprintf(details, sizeof details, "0x%02X bits=%d stop=%s baud=%.2f", event.value, event.dataBits,
                      StopBitsText(event.stopHalfBits), event.baud);
        break;
    }
    char base[16];
    std::snprintf(base, sizeof base, "0x%03X", static_cast<unsigned>(event.base));
    return LocalStamp(event.time) + '\t' + base + '\t' + UartEventName(event.kind) + '\t' + details;
}

UartTraceWriter::UartTraceWriter(const std::string& path, bool append) : path_(path) {
    file_ = std::fopen(path.c_str(), append ? "ae" : "we");
    if (!file_) {
        throw std::runtime_error("cannot open serial line trace " + path + ": " + std::strerror(errno));
    }
}

UartTraceWriter::~UartTraceWriter() {
    if (file_) std::fclose(file_);
}

void UartTraceWriter::OnUartEvent(const UartEvent& event) {
    const std::string line = FormatUartEvent(event) + '\n';
    errno = 0;
    if (std::fputs(line.c_str(), file_) == EOF || std::fflush(file_) != 0) {
        if (error_.empty()) {
            error_ = "cannot write serial line trace " + path_ + ": " + std::strerror(errno ? errno : EIO);
            if (reporter_) reporter_(error_);
        }
        std::clearerr(file_);
    }
}

}  // namespace sked
