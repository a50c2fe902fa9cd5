// Error performance in seconds, as ITU-T G.821 counts it: each second is
// errored (ES: a bit error), severely errored (SES: a bit error ratio of
// 1e-3 or more, or sync lost or not held), or error-free (EFS). Ten SES in a
// row begin unavailable time, ten seconds in a row that are not SES end it
// (those ten belong to the new state); ES, SES and EFS count in available
// time only, an SES also as an ES.
#pragma once

#include <cstdint>

struct error_seconds {
    std::uint64_t line_rate = 0;  // bits in a second of a capture; 0: seconds of the read clock
    bool started = false;         // counting has begun (at the first sync)
    std::uint64_t at = 0;         // the second under way, and what it had so far
    std::uint64_t errors = 0, bits = 0;
    bool bad = false;  // sync lost or not held in it
    bool unavailable = false;
    std::uint64_t pend_ses = 0;               // available: SES in a row, not yet ten
    std::uint64_t pend_es = 0, pend_efs = 0;  // unavailable: seconds in a row that are not SES
    std::uint64_t es = 0, ses = 0, efs = 0, uas = 0;
};

// Counting begins with `second`, unless it has begun.
void es_begin(error_seconds& e, std::uint64_t second);

// The seconds before `second` are over. A second of the read clock with no
// bit checked in it is severely errored: the link did not carry the pattern.
void es_goto(error_seconds& e, std::uint64_t second);

// The second under way ends the count; `bits` is how many it had (for a
// capture's last partial second).
void es_finish(error_seconds& e, std::uint64_t bits);
