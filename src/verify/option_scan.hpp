// The command line of the tools that follow the usual conventions: long
// options by their name or a prefix of only one ("--width=16", "--width 16",
// "--wid=16"), clusters of short ones ("-sm5", "-m 5"), "--" before the
// operands, "-" an operand. One table per command names each option, how its
// value is taken and how a wrong one is told; the messages are the GNU tools'.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

enum class option_set {
    ok,
    invalid,  // the value is not one the option takes
    stop,     // the option ends the scan (--help, --version)
};

template <class Target>
struct option_spec {
    std::string_view name;  // the long name, without "--"
    char letter;            // the short one, or 0
    bool takes_value;
    option_set (*set)(Target& target, const char* value);  // value is null where none is taken
    // What a wrong value is ("invalid number of lines"), or empty for
    // "invalid argument 'VALUE' for '--NAME'".
    std::string_view invalid;
    // The values a value out of a fixed list may be, one after another
    // ("little\0big\0"), told after a wrong one; empty where any is.
    std::string_view valid = {};
};

// A wrong command line: "<before><what><after>", where `what` is the user's
// text, to be shown safely.
struct option_error {
    char before[64] = {};
    const char* what = "";
    char after[512] = {};
};

namespace detail {
// Sets err to "<before><what><after>", `after` from the parts given.
bool scan_fail(option_error& err, const char* before, const char* what, std::string_view a1,
               std::string_view a2 = {}, std::string_view a3 = {});
// Appends "\nValid arguments are:\n  - 'V'" for each value V of `valid`
// to err.after; gives false.
bool add_valid(option_error& err, std::string_view valid);
// Appends " '--NAME'" to err.after: one of the possibilities of a prefix.
void add_possibility(option_error& err, std::string_view name);
}  // namespace detail

// The entry of `table` that `name` names in full, or by a prefix of only
// one; -1 for none; -2 for several, with err telling which (`arg` as given).
template <class Target, std::size_t N>
int find_long_option(const option_spec<Target> (&table)[N], std::string_view name, const char* arg,
                     option_error& err) {
    int found = -1;
    if (name.empty()) return -1;
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].name == name) return static_cast<int>(i);
        if (table[i].name.substr(0, name.size()) == name) found = found == -1 ? static_cast<int>(i) : -2;
    }
    if (found != -2) return found;
    detail::scan_fail(err, "option '", arg, "' is ambiguous; possibilities:");
    for (std::size_t i = 0; i < N; ++i)
        if (table[i].name.substr(0, name.size()) == name) detail::add_possibility(err, table[i].name);
    return -2;
}

// Scans argv[1..argc) against `table`, setting `target` option by option
// and collecting the operands. True when done, or stopped by an option
// that ends the scan; false, with `err` set, on a wrong one.
template <class Target, std::size_t N>
bool scan_options(const option_spec<Target> (&table)[N], int argc, char** argv, Target& target,
                  std::vector<const char*>& operands, option_error& err) {
    bool options_end = false;
    for (int k = 1; k < argc; ++k) {
        const char* arg = argv[k];
        if (options_end || arg[0] != '-' || arg[1] == '\0') {
            operands.push_back(arg);
            continue;
        }
        if (arg[1] == '-' && arg[2] == '\0') {
            options_end = true;
            continue;
        }
        const bool is_long = arg[1] == '-';
        // The one long option, or each short one of a cluster in turn.
        for (const char* c = arg + 1; *c != '\0'; ++c) {
            const std::string_view name = is_long ? std::string_view(arg + 2) : std::string_view();
            const std::size_t eq = name.find('=');
            int i = -1;
            if (is_long) {
                i = find_long_option(table, name.substr(0, eq), arg, err);
                if (i == -2) return false;
                if (i < 0) return detail::scan_fail(err, "unrecognized option '", arg, "'");
            } else {
                for (std::size_t j = 0; j < N && i < 0; ++j)
                    if (table[j].letter == *c) i = static_cast<int>(j);
                const char letter[2] = {*c, '\0'};
                if (i < 0) return detail::scan_fail(err, "invalid option -- '", "", letter, "'");
            }
            const option_spec<Target>& o = table[i];
            const char letter[2] = {o.letter, '\0'};
            const char* value = nullptr;
            if (o.takes_value) {
                if (is_long && eq != std::string_view::npos)
                    value = arg + 2 + eq + 1;
                else if (!is_long && c[1] != '\0')
                    value = c + 1;
                else if (k + 1 < argc)
                    value = argv[++k];
                else if (is_long)
                    return detail::scan_fail(err, "option '--", "", o.name, "' requires an argument");
                else
                    return detail::scan_fail(err, "option requires an argument -- '", "", letter, "'");
            } else if (is_long && eq != std::string_view::npos) {
                return detail::scan_fail(err, "option '--", "", o.name, "' doesn't allow an argument");
            }
            const option_set s = o.set(target, value);
            if (s == option_set::stop) return true;
            if (s == option_set::invalid) {
                if (!o.invalid.empty()) return detail::scan_fail(err, o.invalid.data(), value, "'");
                if (is_long)
                    detail::scan_fail(err, "invalid argument '", value, "' for '--", o.name, "'");
                else
                    detail::scan_fail(err, "invalid argument '", value, "' for '-", letter, "'");
                return detail::add_valid(err, o.valid);
            }
            if (is_long || value != nullptr) break;
        }
    }
    return true;
}
