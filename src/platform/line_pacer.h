// Line-speed pacing for serial back ends that cannot ask the hardware: a port
// whose device is gone, or a device whose driver keeps no output queue. The
// station must still send at the speed it programmed, never faster and never
// by spinning on the line-status register.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/port_io.h"
#include "platform/uart_frame.h"

namespace sked {

// Timing of a 16550 transmit holding register feeding its shift register.
class LinePacer {
public:
    explicit LinePacer(const Clock& clock) : clock_(clock) {}

    // Frame length of the characters written from now on.
    void SetFormat(unsigned divisor, std::uint8_t lcr) { frame_ = FrameTime(divisor, lcr); }
    Duration frameTime() const { return frame_; }

    // A character written to the holding register: it goes straight into the
    // idle shift register, or waits in the holding register for the one on
    // the line. A third character overwrites the waiting one, as on the chip.
    void Write(TimePoint now);
    void Write() { Write(clock_.Now()); }

    bool HoldingEmpty(TimePoint now) const;  // THRE
    bool ShiftEmpty(TimePoint now) const;    // TEMT: nothing left on the line
    // THRE and TEMT as the line-status register shows them.
    std::uint8_t Lsr(TimePoint now) const;
    std::uint8_t Lsr() const { return Lsr(clock_.Now()); }

    // When HoldingEmpty or ShiftEmpty next changes; `now` when the line is idle.
    TimePoint NextChange(TimePoint now) const;
    TimePoint NextChange() const { return NextChange(clock_.Now()); }

    void Reset();

private:
    // A clock that went back (wall-clock step) must not hold the line for hours.
    bool Stale(TimePoint now) const { return now < writtenAt_; }

    const Clock& clock_;
    Duration frame_{};
    TimePoint writtenAt_{};   // last Write
    TimePoint shiftEnd_{};    // end of the frame in the shift register
    bool holdingFull_ = false;
    TimePoint holdingEnd_{};  // end of the waiting frame, once it has been sent
};

// The registers a back end keeps for itself: what the station programmed
// (format, divisor, lines) and, when no device answers, a stand-in 16550
// that reads back those values and paces the transmit register at line speed.
class ShadowUart {
public:
    explicit ShadowUart(const Clock& clock) : pacer_(clock) {}

    // `offset` is the register offset 0..7 from the base address.
    void Write(std::uint16_t offset, std::uint8_t value, TimePoint now);
    std::uint8_t Read(std::uint16_t offset, TimePoint now) const;
    TimePoint NextChange(std::uint16_t offset, TimePoint now) const;

    std::uint8_t lcr() const { return lcr_; }
    std::uint8_t mcr() const { return mcr_; }
    unsigned divisor() const { return static_cast<unsigned>(dll_) | (static_cast<unsigned>(dlm_) << 8); }
    bool dlab() const { return (lcr_ & uart::kLcrDlab) != 0; }
    Duration frameTime() const { return FrameTime(divisor(), lcr_); }
    // True once the station has set a format (LCR written with DLAB closed).
    bool formatSet() const { return formatSet_; }

    LinePacer& pacer() { return pacer_; }
    const LinePacer& pacer() const { return pacer_; }

private:
    LinePacer pacer_;
    std::uint8_t lcr_ = 0;
    std::uint8_t dll_ = 0;
    std::uint8_t dlm_ = 0;
    std::uint8_t ier_ = 0;
    std::uint8_t mcr_ = 0;
    std::uint8_t fcr_ = 0;
    std::uint8_t scratch_ = 0;
    bool formatSet_ = false;
};

}  // namespace sked
