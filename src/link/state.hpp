// The state of one stream's check, made by the caller and handed down: the
// word rule's, the report's, the name shown, the read buffer.
#pragma once

#include <cstdint>

#include "check.hpp"
#include "counter.hpp"
#include "hint.hpp"
#include "prbs.hpp"
#include "report.hpp"
#include "verify/name_display.hpp"

struct link_check {
    word_state w;
    prbs_state p;  // with --pattern=prbsN instead of w
    stream_report r;
    shown_name shown;
    char why[128];                  // the text of a trouble that is not the system's
    std::uint8_t head[hint_bytes];  // the stream's first bytes, for the hint
    std::size_t head_len = 0;
    alignas(64) std::uint8_t buffer[read_size];
};
