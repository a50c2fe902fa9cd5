#include "counter.hpp"

void word_start(word_state& w, word_format fmt, bool any_start, std::uint64_t skip, bool skip_given,
                bool diagnosing, unsigned lock) {
    w = word_state{};
    w.fmt = fmt;
    w.mask = fmt.bytes >= 8 ? UINT64_MAX : (std::uint64_t{1} << (8 * fmt.bytes)) - 1;
    w.skip = skip;
    w.take_next = any_start || skip_given;
    w.diagnosing = diagnosing;
    seq_start(w.seq, 8 * fmt.bytes, fmt.bytes, lock, fmt.wrap_any);
    w.ramp = word_ramp(block_impl_active(), fmt.bytes, fmt.big_endian);
}
