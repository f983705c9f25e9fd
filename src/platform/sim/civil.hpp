// Calendar arithmetic on 64-bit second counts, so the clock works the same with a 32-bit time_t.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace sim::detail {

struct CivilTime {
    int year = 2000;
    unsigned month = 1;  // 1-12
    unsigned day = 1;    // 1-31
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned weekday = 0;  // 0 = Sunday
};

// Seconds since 1970-01-01 00:00:00 UTC.
std::int64_t to_seconds(const CivilTime& t);
CivilTime from_seconds(std::int64_t seconds);

// "YYYY-MM-DD hh:mm:ss" with every field in range; nullopt otherwise.
std::optional<CivilTime> parse_datetime(std::string_view text);

}  // namespace sim::detail
