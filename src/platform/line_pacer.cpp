#include "platform/line_pacer.h"

#include <algorithm>

namespace sked {

void LinePacer::Write(TimePoint now) {
    if (Stale(now)) Reset();
    writtenAt_ = now;
    if (holdingFull_ && now >= shiftEnd_) {
        // The waiting character has moved on into the shift register.
        shiftEnd_ = holdingEnd_;
        holdingFull_ = false;
    }
    if (now >= shiftEnd_) {
        shiftEnd_ = now + frame_;
    } else if (!holdingFull_) {
        holdingFull_ = true;
        holdingEnd_ = shiftEnd_ + frame_;
    }
    // else: overrun; the new character replaces the waiting one.
}

bool LinePacer::HoldingEmpty(TimePoint now) const {
    return Stale(now) || !holdingFull_ || now >= shiftEnd_;
}

bool LinePacer::ShiftEmpty(TimePoint now) const {
    return Stale(now) || now >= (holdingFull_ ? holdingEnd_ : shiftEnd_);
}

std::uint8_t LinePacer::Lsr(TimePoint now) const {
    std::uint8_t lsr = 0;
    if (HoldingEmpty(now)) lsr |= uart::kLsrThre;
    if (ShiftEmpty(now)) lsr |= uart::kLsrTemt;
    return lsr;
}

TimePoint LinePacer::NextChange(TimePoint now) const {
    if (Stale(now)) return now;
    if (holdingFull_ && now < shiftEnd_) return shiftEnd_;
    const TimePoint end = holdingFull_ ? holdingEnd_ : shiftEnd_;
    return std::max(now, end);
}

void LinePacer::Reset() {
    writtenAt_ = {};
    shiftEnd_ = {};
    holdingFull_ = false;
    holdingEnd_ = {};
}

void ShadowUart::Write(std::uint16_t offset, std::uint8_t value, TimePoint now) {
    switch (offset & 7) {
    case uart::kThr:
        if (dlab()) {
            dll_ = value;
        } else {
            pacer_.SetFormat(divisor(), lcr_);
            pacer_.Write(now);
        }
        break;
    case uart::kIer:
        if (dlab()) dlm_ = value;
        else ier_ = value & 0x0F;
        break;
    case 2: fcr_ = value; break;
    case uart::kLcr:
        lcr_ = value;
        if (!dlab()) formatSet_ = true;
        break;
    case uart::kMcr: mcr_ = value & 0x1F; break;
    case 7: scratch_ = value; break;
    default: break;  // LSR and MSR are read-only
    }
}

std::uint8_t ShadowUart::Read(std::uint16_t offset, TimePoint now) const {
    switch (offset & 7) {
    case uart::kThr: return dlab() ? dll_ : 0;  // nothing is ever received
    case uart::kIer: return dlab() ? dlm_ : ier_;
    case 2: return (fcr_ & 0x01) ? 0xC1 : 0x01;  // no interrupt pending; FIFO flag
    case uart::kLcr: return lcr_;
    case uart::kMcr: return mcr_;
    case uart::kLsr: return pacer_.Lsr(now);
    case 6:
        // In loop-back the modem-status inputs follow the control outputs.
        if (mcr_ & uart::kMcrLoop) {
            return static_cast<std::uint8_t>(((mcr_ & 0x01) << 5) | ((mcr_ & 0x02) << 3) |
                                             ((mcr_ & 0x04) << 4) | ((mcr_ & 0x08) << 4));
        }
        return 0;
    default: return scratch_;
    }
}

TimePoint ShadowUart::NextChange(std::uint16_t offset, TimePoint now) const {
    if ((offset & 7) == uart::kLsr) return pacer_.NextChange(now);
    return TimePoint::max();  // nothing else changes by itself
}

}  // namespace sked
