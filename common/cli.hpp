// The command-line parser that velmora and velmora-mesh share: the
// malformed-command failure, numbers given as option values, and the walker
// over "--name value", "--name=value" and single words. A malformed command
// line is refused alike by every program: "PROGRAM: what is wrong" and a
// pointer to the help on standard error, exit status 2.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora::cli {

inline constexpr int usage_status = 2;    // a malformed command line
inline constexpr int failure_status = 1;  // the work could not be done

struct usage_error {
    std::string message;
};

[[noreturn]] inline void refuse(const std::string& message) { throw usage_error{message}; }

// Prints the refusal of a command line to standard error; returns the exit
// status. command is what the user typed before the options, e.g.
// "velmora" or "velmora-mesh import".
inline int refused(const char* command, const usage_error& e) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for the options.\n", command, e.message.c_str(), command);
    return usage_status;
}

inline std::string quoted(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q += '"';
    q += s;
    q += '"';
    return q;
}

inline int whole_number(std::string_view option, std::string_view value) {
    int v = 0;
    const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
    if (r.ec == std::errc::result_out_of_range)
        refuse(std::string(option) + ": " + quoted(value) + " lies outside -2147483648..2147483647");
    if (r.ec != std::errc() || r.ptr != value.data() + value.size() || value.empty())
        refuse(std::string(option) + ": expected a whole number, found " + quoted(value));
    return v;
}

inline double real_number(std::string_view option, std::string_view value) {
    double v = 0;
    // from_chars takes no leading '+'; allow it as people write it.
    std::string_view digits = value;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || digits.empty() ||
        !(v - v == 0))  // rejects inf and nan
        refuse(std::string(option) + ": expected a finite number, found " + quoted(value));
    return v;
}

// Walks the arguments of one command: "--name value", "--name=value" and
// single words.
class arguments {
public:
    arguments(int argc, char** argv, int first) : argc_(argc), argv_(argv), next_(first) {}

    // Moves to the next argument; false when there is none.
    bool next() {
        if (next_ >= argc_) return false;
        arg_ = argv_[next_++];
        name_ = arg_;
        inline_value_ = {};
        has_inline_ = false;
        if (const auto eq = arg_.find('='); arg_.starts_with("--") && eq != std::string_view::npos) {
            name_ = arg_.substr(0, eq);
            inline_value_ = arg_.substr(eq + 1);
            has_inline_ = true;
        }
        return true;
    }

    std::string_view arg() const { return arg_; }    // the whole argument
    std::string_view name() const { return name_; }  // the option name, before any '='

    std::string_view value() {
        if (has_inline_) return inline_value_;
        if (next_ >= argc_) refuse(std::string(name_) + " needs a value");
        return argv_[next_++];
    }
    double real() { return real_number(name_, value()); }
    int whole() { return whole_number(name_, value()); }

    // For an option without a value: refuses "--name=value".
    void flag() const {
        if (has_inline_) refuse(std::string(name_) + " takes no value");
    }

private:
    int argc_;
    char** argv_;
    int next_;
    std::string_view arg_, name_, inline_value_;
    bool has_inline_ = false;
};

}  // namespace velmora::cli
