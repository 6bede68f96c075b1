#include "report_reader.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

#include "mesh_error.hpp"

namespace velmora::mesh {

namespace {

constexpr std::string_view displacement_header = " Node             Displ X             Displ Y             Displ Z";
constexpr std::string_view stress_header = " Elem            Sigma1            Sigma2            Sigma3";
constexpr std::string_view reaction_header = " Node           Force X           Force Y           Force Z";
constexpr std::size_t wide_rule = 65, narrow_rule = 59;
constexpr std::size_t gap = 5;              // blanks before a reported value
constexpr std::size_t skipped_column = 18;  // blanks of a direction not reported
constexpr std::size_t value_width = 13;     // an ordinary value: sign or blank, 1.dddddd, E+dd

class lines {
public:
    lines(std::string_view text, std::string file_name) : text_(text), file_(std::move(file_name)) {
        if (!text_.empty() && text_.back() != '\n')
            fail_at(count_lines(), "the file ends inside a line: the report is truncated (did the run finish?)");
    }

    bool at_end() const { return p_ >= text_.size(); }
    int number() const { return line_; }

    // The next line without its line end; fails with what was expected
    // when the file ends first.
    std::string_view next(const std::string& expected) {
        if (at_end())
            fail_at(line_ + 1,
                    "the report ends where " + expected + " was expected: it is truncated (did the run finish?)");
        const std::size_t end = text_.find('\n', p_);
        std::string_view l = text_.substr(p_, end - p_);
        p_ = end + 1;
        ++line_;
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        return l;
    }

    void expect(std::string_view wanted, const std::string& what) {
        const std::string_view l = next(what);
        if (l != wanted) fail(what + " expected, found \"" + std::string(l) + "\"");
    }

    void expect_rule(std::size_t width) {
        expect(std::string(width, '-'), "a rule of " + std::to_string(width) + " minus signs");
    }

    [[noreturn]] void fail(const std::string& message) const { fail_at(line_, message); }

private:
    int count_lines() const {
        int n = 1;
        for (char c : text_)
            if (c == '\n') ++n;
        return n;
    }
    [[noreturn]] void fail_at(int line, const std::string& message) const {
        throw mesh_error(file_ + ":" + std::to_string(line) + ": " + message);
    }

    std::string_view text_;
    std::string file_;
    std::size_t p_ = 0;
    int line_ = 0;
};

// Fields of a line, split at blanks.
class fields {
public:
    explicit fields(std::string_view l) : l_(l) {}

    std::string_view word() {
        while (p_ < l_.size() && l_[p_] == ' ') ++p_;
        const std::size_t start = p_;
        while (p_ < l_.size() && l_[p_] != ' ') ++p_;
        return l_.substr(start, p_ - start);
    }
    // True when only blanks are left; the position stays.
    bool done() const {
        std::size_t q = p_;
        while (q < l_.size() && l_[q] == ' ') ++q;
        return q >= l_.size();
    }
    // Blanks before the next word; the position moves past them.
    std::size_t blanks() {
        const std::size_t start = p_;
        while (p_ < l_.size() && l_[p_] == ' ') ++p_;
        return p_ - start;
    }

private:
    std::string_view l_;
    std::size_t p_ = 0;
};

int whole(lines& in, std::string_view word, const char* what) {
    int v = 0;
    const auto r = std::from_chars(word.data(), word.data() + word.size(), v);
    if (r.ec != std::errc() || r.ptr != word.data() + word.size() || word.empty())
        in.fail(std::string("expected ") + what + ", found \"" + std::string(word) + "\"");
    return v;
}

double real(lines& in, std::string_view word, const char* what) {
    if (word == "NaN") return std::nan("");
    if (word == "Inf") return HUGE_VAL;
    if (word == "-Inf") return -HUGE_VAL;
    double v = 0;
    const auto r = std::from_chars(word.data(), word.data() + word.size(), v);
    if (r.ec != std::errc() || r.ptr != word.data() + word.size() || word.empty() || !std::isfinite(v))
        in.fail(std::string("expected ") + what + ", found \"" + std::string(word) + "\"");
    return v;
}

// "| Label ... | value |"
std::string_view box_value(lines& in, std::string_view label) {
    const std::string what = "the summary line \"" + std::string(label) + "\"";
    const std::string_view l = in.next(what);
    const std::string head = "| " + std::string(label);
    if (!l.starts_with(head) || !l.ends_with(" |")) in.fail(what + " expected, found \"" + std::string(l) + "\"");
    const std::size_t bar = l.find('|', head.size());
    if (bar == std::string_view::npos || bar + 1 > l.size() - 2) in.fail(what + " has no value");
    fields f(l.substr(bar + 1, l.size() - 2 - (bar + 1)));
    const std::string_view v = f.word();
    if (!f.done()) in.fail(what + " holds more than one value");
    return v;
}

// Rows of a table of a number and three values, up to an empty line (or,
// for the stress table, the closing rule).
void table(lines& in, std::vector<report::row>& rows, const char* number_what, const char* value_what,
           std::string_view stop, const std::string& end_what) {
    for (;;) {
        const std::string_view l = in.next(end_what);
        if (l == stop) return;
        fields f(l);
        report::row r{};
        r.number = whole(in, f.word(), number_what);
        for (double& v : r.value) {
            const std::string_view w = f.word();
            if (w.empty())
                in.fail(std::string("the row of ") + number_what + " " + std::to_string(r.number) +
                        " has fewer than three values");
            v = real(in, w, value_what);
        }
        if (!f.done())
            in.fail(std::string("the row of ") + number_what + " " + std::to_string(r.number) +
                    " has more than three values");
        rows.push_back(r);
    }
}

// Blanks that precede a printed value in its field: one before a finite
// value without a minus sign; a word (NaN, Inf, -Inf) is right-aligned in
// the width of an ordinary value.
std::size_t value_padding(std::string_view w) {
    if (w == "NaN" || w == "Inf" || w == "-Inf") return value_width - w.size();
    return !w.empty() && w.front() == '-' ? 0 : 1;
}

// A reaction row: the node, then per direction either five blanks and the
// value or 18 blanks for a direction not reported; nothing after the last
// reported direction.
report::reaction_row reaction(lines& in, std::string_view l) {
    fields f(l);
    report::reaction_row r{};
    r.node = whole(in, f.word(), "a node number");
    int direction = 0;
    while (!f.done()) {
        // Before a value: 18 blanks for each direction passed over, the gap
        // of 5, then the value right-aligned in its field.
        const std::size_t b = f.blanks();
        const std::string_view w = f.word();
        const std::size_t pad = value_padding(w);
        if (b < gap + pad || (b - gap - pad) % skipped_column != 0)
            in.fail("the reaction row of node " + std::to_string(r.node) +
                    " is not laid out in columns of 18 characters");
        direction += static_cast<int>((b - gap - pad) / skipped_column) + 1;
        if (direction > 3)
            in.fail("the reaction row of node " + std::to_string(r.node) + " has more than three columns");
        r.force[static_cast<std::size_t>(direction - 1)] = real(in, w, "a reaction force");
    }
    if (direction == 0) in.fail("the reaction row of node " + std::to_string(r.node) + " holds no force");
    return r;
}

}  // namespace

report read_report(std::string_view text, const std::string& file_name) {
    lines in(text, file_name);
    report r;

    in.expect_rule(wide_rule);
    r.iterations = whole(in, box_value(in, "Minor Iterations"), "the number of iterations");
    r.energy = real(in, box_value(in, "Total Potential Energy"), "the total potential energy");
    r.allowable_residue = real(in, box_value(in, "Allowable Maximum Residue"), "the allowable residue");
    in.expect_rule(wide_rule);
    in.expect("", "an empty line");
    in.expect("", "an empty line");

    in.expect_rule(wide_rule);
    in.expect(displacement_header, "the header of the displacement table");
    in.expect_rule(wide_rule);
    table(in, r.displacements, "node", "a displacement", "", "a displacement row or the empty line after the table");
    in.expect("", "an empty line");

    in.expect_rule(narrow_rule);
    in.expect(stress_header, "the header of the stress table");
    in.expect_rule(narrow_rule);
    table(in, r.stresses, "element", "a stress", std::string(narrow_rule, '-'),
          "a stress row or the rule that closes the table");
    {
        const std::string_view l = in.next("the Max/Min line");
        fields f(l);
        if (f.word() != "Max/Min") in.fail("the Max/Min line expected, found \"" + std::string(l) + "\"");
        r.largest_sigma1 = real(in, f.word(), "the largest sigma1");
        r.smallest_sigma2 = real(in, f.word(), "the smallest sigma2");
        if (!f.done()) in.fail("the Max/Min line holds more than two values");
    }
    in.expect("", "an empty line");
    in.expect("", "an empty line");

    in.expect_rule(narrow_rule);
    in.expect(reaction_header, "the header of the reaction table");
    in.expect_rule(narrow_rule);
    while (!in.at_end()) r.reactions.push_back(reaction(in, in.next("a reaction row")));
    return r;
}

}  // namespace velmora::mesh
