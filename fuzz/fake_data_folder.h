// A made-up data/ folder for the fuzz targets that read schedules: each name has no file, or a size
// from a few bytes up to the largest there is, spread over the names and the same on every call, so
// that no disk is touched. Only names inside data/ may be looked up at all: looking up any other
// name is a finding.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "transmit/data_file_name.h"

namespace sked {

inline std::optional<std::uintmax_t> FakeDataFileSize(const std::string& name) {
    if (!IsDataFileName(name)) __builtin_trap();
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a of the name
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ULL;
    switch (h % 5) {
        case 0:
            return std::nullopt;
        case 1:
            return h % 100;
        case 2:
            return h % 100'000;
        case 3:
            return h % 10'000'000'000ULL;
        default:
            return std::numeric_limits<std::uintmax_t>::max() >> (h % 64);
    }
}

}  // namespace sked
