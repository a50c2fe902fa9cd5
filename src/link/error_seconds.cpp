#include "error_seconds.hpp"

namespace {
enum class second_kind { efs, es, ses };

// Counts n seconds of one kind into the availability state machine.
void push(error_seconds& e, second_kind kind, std::uint64_t n) {
    if (n == 0) return;
    if (!e.unavailable) {
        if (kind == second_kind::ses) {
            e.pend_ses += n;
            if (e.pend_ses >= 10) {
                e.uas += e.pend_ses;
                e.pend_ses = 0;
                e.unavailable = true;
            }
            return;
        }
        e.es += e.pend_ses;
        e.ses += e.pend_ses;
        e.pend_ses = 0;
        (kind == second_kind::es ? e.es : e.efs) += n;
        return;
    }
    if (kind == second_kind::ses) {
        e.uas += e.pend_es + e.pend_efs + n;
        e.pend_es = e.pend_efs = 0;
        return;
    }
    (kind == second_kind::es ? e.pend_es : e.pend_efs) += n;
    if (e.pend_es + e.pend_efs >= 10) {
        e.unavailable = false;
        e.es += e.pend_es;
        e.efs += e.pend_efs;
        e.pend_es = e.pend_efs = 0;
    }
}

// The kind of the second under way, which had `bits` bits.
second_kind kind_of(const error_seconds& e, std::uint64_t bits) {
    if (e.bad || bits == 0) return second_kind::ses;
    if (e.errors == 0) return second_kind::efs;
    return e.errors * 1000 >= bits ? second_kind::ses : second_kind::es;
}
}  // namespace

void es_begin(error_seconds& e, std::uint64_t second) {
    if (e.started) return;
    e.started = true;
    e.at = second;
    e.errors = e.bits = 0;
    e.bad = false;
}

void es_goto(error_seconds& e, std::uint64_t second) {
    if (!e.started || second <= e.at) return;
    push(e, kind_of(e, e.line_rate != 0 ? e.line_rate : e.bits), 1);
    // Seconds between with no record: a capture's were clean, the read
    // clock's had no bit.
    push(e, e.line_rate != 0 ? second_kind::efs : second_kind::ses, second - e.at - 1);
    e.at = second;
    e.errors = e.bits = 0;
    e.bad = false;
}

void es_finish(error_seconds& e, std::uint64_t bits) {
    if (!e.started) return;
    push(e, kind_of(e, bits), 1);
    if (e.unavailable) {
        e.uas += e.pend_es + e.pend_efs;
    } else {
        e.es += e.pend_ses;
        e.ses += e.pend_ses;
    }
    e.pend_ses = e.pend_es = e.pend_efs = 0;
    e.started = false;
}
