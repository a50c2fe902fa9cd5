#include "report_format.hpp"

#include <chrono>
#include <cstdio>

char* put_seconds(char* p, double v, bool trim) {
    // In integers: no floating-point formatting from the C library, whose
    // code would count in the resident memory of every run.
    // NOLINTNEXTLINE(bugprone-incorrect-roundings): never negative here
    const auto ms = static_cast<std::uint64_t>(std::max(v, 0.0) * 1000 + 0.5);
    p = std::to_chars(p, p + 20, ms / 1000).ptr;
    auto frac = static_cast<unsigned>(ms % 1000);
    int digits = 3;
    while (trim && digits > 0 && frac % 10 == 0) {
        frac /= 10;
        --digits;
    }
    if (digits == 0) return p;
    *p++ = '.';
    for (int d = digits - 1; d >= 0; --d, frac /= 10) p[d] = static_cast<char>('0' + frac % 10);
    return p + digits;
}

// "2026-12-09T01:02:03.456Z": the UTC time of `now` on the report's clock.
text& utc(text& t, const stream_report& r, double now) {
    using namespace std::chrono;
    const auto ms = static_cast<std::int64_t>((r.wall_start + (now - r.start)) * 1000.0);
    const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(ms)));
    const year_month_day date(day);
    const std::int64_t in_day = ms - duration_cast<milliseconds>(day.time_since_epoch()).count();
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(in_day / 3600000), static_cast<int>(in_day / 60000 % 60),
                  static_cast<int>(in_day / 1000 % 60), static_cast<int>(in_day % 1000));
    return t << stamp;
}

// Bytes a second between two times, 0 where no time has passed.
double rate(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
}

// "1 word", "2 words", ...
text& count(text& t, std::uint64_t n, std::string_view one, std::string_view many) {
    return t << n << " " << (n == 1 ? one : many);
}

// A JSON string of `s`, which is valid UTF-8 without control characters (a
// shown name, a system message): only quotes and backslashes need escapes.
void append_json_string(console& out, std::string_view s) {
    console_append(out, "\"");
    for (std::size_t i = 0; (i = s.find_first_of("\"\\")) != std::string_view::npos; s.remove_prefix(i + 1)) {
        console_append(out, s.substr(0, i));
        const char escaped[2] = {'\\', s[i]};
        console_append(out, std::string_view(escaped, 2));
    }
    console_append(out, s);
    console_append(out, "\"");
}

text& interval_head(text& t, const stream_report& r, std::uint64_t bytes, double now) {
    t << "[";
    t.fixed(r.record_start - r.start) << "-";
    t.fixed(now - r.start) << " s] ";
    count(t, bytes, "byte", "bytes") << ", ";
    char mb_s[32];
    std::snprintf(mb_s, sizeof mb_s, "%.1f MB/s, ", rate(bytes, now - r.record_start) / 1e6);
    return t << mb_s;
}

void json_close(console& out, text& t, bool interrupted, const char* error) {
    t << (interrupted ? R"(,"interrupted":true,"error":)" : R"(,"interrupted":false,"error":)");
    console_append(out, t.view());
    if (error != nullptr)
        append_json_string(out, error);
    else
        console_append(out, "null");
    console_line(out, "}\n");
}
