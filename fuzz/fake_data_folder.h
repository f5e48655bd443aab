// A made-up data/ folder for the fuzz targets that read schedules, so that no disk is touched: each name
// has no file, or a size from a few bytes up to the largest there is, spread over the names and the same
// on every call. Looking up any name outside data/ is a finding.
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
    const std::optional<std::uintmax_t> sizes[] = {std::nullopt, h % 100, h % 100'000, h % 10'000'000'000ULL,
                                                   std::numeric_limits<std::uintmax_t>::max() >> (h % 64)};
    return sizes[h % 5];
}

}  // namespace sked
