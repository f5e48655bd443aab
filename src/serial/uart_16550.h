// One 16550 as the station sees it: the registers it programs and the
// transmitter, a holding register feeding the shift register at 115200 /
// divisor baud with the frame of the line-control register. The emulated port
// is made of these; the tty and direct-access back ends keep one per port as
// the record of what the station programmed and, where no device can tell,
// as the pacer that holds the station to line speed. Nothing runs in the
// background: the model catches up with the time it is given whenever it is
// touched. Times are the line's time (see LineClock).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"
#include "serial/uart_registers.h"
#include "serial/uart_frame.h"
#include "serial/uart_timeline.h"

namespace sked {

class Uart16550 {
public:
    // Told of what happens on the line as it happens: the register writes that
    // matter on the air (lcr, divisor, ier, mcr, break) and every frame at the
    // exact moment its start bit begins. The model does not know which lines
    // key the transmitter: mcr events come with keyOn and powerOn unset.
    using Listener = std::function<void(const UartEvent& event)>;

    // Register offsets beyond those the station programs.
    static constexpr std::uint16_t kFcr = 2;  // FIFO control (write) / interrupt identification (read)
    static constexpr std::uint16_t kMsr = 6;
    static constexpr std::uint16_t kScratch = 7;

    // `base` labels the events.
    explicit Uart16550(std::uint16_t base = 0, Listener listener = {});

    // Register `offset` (0..7 from the base) at time `now`. A time earlier than
    // one the model has already seen counts as that one.
    // Reads: THR gives 0 (nothing is ever received), IIR "no interrupt pending"
    // with the FIFO flags, LSR THRE and TEMT, MSR the outputs fed back in
    // loop-back (else no modem inputs). LSR and MSR ignore writes.
    void Write(std::uint16_t offset, std::uint8_t value, TimePoint now);
    std::uint8_t Read(std::uint16_t offset, TimePoint now);
    // For the LSR: the end of the frame on the line (THRE and/or TEMT change
    // then), or `now` when the transmitter is idle. Other registers never
    // change by themselves: TimePoint::max().
    TimePoint NextChange(std::uint16_t offset, TimePoint now);

    // Moves the transmitter on to `now`: a frame ending by then hands over to
    // the held character right at its end, in the format in effect then.
    void AdvanceTo(TimePoint now);
    // The end of the frame on the line; TimePoint::max() while idle.
    TimePoint FrameEnd() const { return shifting_ ? shiftEnd_ : TimePoint::max(); }
    // When all written so far will have been sent (a held character counted
    // at the present format); `now` when the transmitter is idle.
    TimePoint IdleAt(TimePoint now) const;

    std::uint8_t lcr() const { return lcr_; }
    std::uint8_t mcr() const { return mcr_; }
    unsigned divisor() const { return static_cast<unsigned>(dlm_) << 8 | dll_; }
    bool dlab() const { return (lcr_ & uart::kLcrDlab) != 0; }
    // One frame at the present divisor and format.
    Duration frameTime() const { return FrameTime(divisor(), lcr_); }
    // True once the station has set a format (LCR written with DLAB closed).
    bool formatSet() const { return formatSet_; }

    // Characters written while the holding register was full (the earlier one is lost, as on the chip).
    std::uint64_t overruns() const { return overruns_; }
    std::uint64_t frames() const { return frames_; }

private:
    std::uint8_t Lsr() const;
    void StartFrame(TimePoint start, std::uint8_t code);
    void WriteLcr(std::uint8_t value);
    UartEvent Event(UartEventKind kind, std::uint8_t value = 0) const;  // at now_
    void Tell(const UartEvent& event) const;

    std::uint16_t base_;
    Listener listener_;
    TimePoint now_{};  // the latest time seen

    std::uint8_t dll_ = 0;  // divisor 0 counts as 65536 until the station programs it
    std::uint8_t dlm_ = 0;
    std::uint8_t ier_ = 0;
    std::uint8_t fcr_ = 0;
    std::uint8_t lcr_ = 0;
    std::uint8_t mcr_ = 0;
    std::uint8_t scratch_ = 0;
    bool divisorWritten_ = false;  // since DLAB was last closed
    bool formatSet_ = false;

    bool shifting_ = false;
    TimePoint shiftEnd_{};
    bool holding_ = false;
    std::uint8_t held_ = 0;

    std::uint64_t overruns_ = 0;
    std::uint64_t frames_ = 0;
};

}  // namespace sked
