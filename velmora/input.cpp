// The reader of "input.txt".
//
// The file holds six sections, each after a header line that begins with a
// colon: control values, thickness and material, nodes, elements, prescribed
// displacements, nodal forces. Numbers are free format; after the last
// number of a record the rest of its line is discarded. Record numbers say
// where a record goes, so records may come in any order.
#include "input.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "steps.hpp"

namespace velmora {

namespace {

constexpr const char* input_file_name = "input.txt";
constexpr double default_tolerance = 0.001;  // replaces a tolerance not greater than 0
constexpr int directions = 3;
constexpr int longest_quote = 24;  // characters of the file quoted in a message
// Bytes of "input.txt" read at a time: the reader never holds the whole
// text, only the lines at hand.
constexpr std::size_t input_piece = std::size_t{1} << 20;

// Shortest text a record of k numbers can take: each number one digit and
// one blank or line end. A count is checked against it before any storage
// is allocated for the count.
constexpr std::size_t min_record_bytes(int numbers) { return 2 * static_cast<std::size_t>(numbers); }

bool is_line_end(const char* p, const char* end) {
    return *p == '\n' || *p == '\f' || (*p == '\r' && p + 1 != end && p[1] == '\n');
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// The longest numeral digit {[_] digit} in the given base that starts at p;
// its digits are appended to digits. Returns p when no digit stands there.
const char* numeral(const char* p, const char* end, int base, std::string& digits) {
    if (p == end || digit_value(*p) >= base) return p;
    digits += *p++;
    while (p != end) {
        if (digit_value(*p) < base) {
            digits += *p++;
        } else if (*p == '_' && p + 1 != end && digit_value(p[1]) < base) {
            digits += p[1];
            p += 2;
        } else {
            break;
        }
    }
    return p;
}

// Exact value of a digit string when it fits in 64 bits.
bool exact_value(const std::string& digits, int base, unsigned long long& value) {
    value = 0;
    for (char c : digits) {
        const auto d = static_cast<unsigned long long>(digit_value(c));
        if (value > (ULLONG_MAX - d) / static_cast<unsigned long long>(base)) return false;
        value = value * static_cast<unsigned long long>(base) + d;
    }
    return true;
}

bool power_of_two(int base, int& log2) {
    for (log2 = 1; log2 <= 4; ++log2)
        if (base == (1 << log2)) return true;
    return false;
}

}  // namespace

// What read_number found: the sign and the value.
struct input_text::number {
    bool negative = false;
    double real = 0.0;
    long long integer = 0;
};

input_text::input_text(std::string_view text, std::string file_name)
    : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), data_end_(end_),
      file_name_(std::move(file_name)) {}

input_text::input_text(std::FILE* file, std::optional<std::uintmax_t> size, std::string file_name,
                       std::size_t piece)
    : file_name_(std::move(file_name)), file_(file), capacity_(std::max<std::size_t>(piece, 1)),
      buffer_(new char[capacity_]), size_(size), file_ended_(false) {
    begin_ = p_ = end_ = data_end_ = buffer_.get();
    fill(false);
}

// Reads on from the file after the data at hand: until the data holds a
// line end past end_, which then moves to just after the last one, or,
// with to_the_end, until the file ends. When the file ends, end_ moves to
// the end of the data.
void input_text::fill(bool to_the_end) {
    while (!file_ended_) {
        if (data_end_ == buffer_.get() + capacity_) grow();
        const auto used = static_cast<std::size_t>(data_end_ - buffer_.get());
        char* const at = buffer_.get() + used;
        const std::size_t wanted = capacity_ - used;
        errno = 0;
        const std::size_t got = std::fread(at, 1, wanted, file_);
        data_end_ = at + got;
        read_ += got;
        if (got < wanted) {
            if (std::ferror(file_))
                throw failure(name_error, "cannot read \"" + file_name_ + "\": " + std::strerror(errno));
            file_ended_ = true;
            break;
        }
        if (!to_the_end)
            for (const char* q = data_end_; q != at; --q)
                if (q[-1] == '\n') {
                    end_ = q;
                    return;
                }
    }
    end_ = data_end_;
}

// Doubles the buffer for a line longer than it, keeping the positions.
void input_text::grow() {
    std::unique_ptr<char[]> larger(new char[2 * capacity_]);
    const char* const old = buffer_.get();
    std::memcpy(larger.get(), old, static_cast<std::size_t>(data_end_ - old));
    const auto moved = [&](const char* q) { return larger.get() + (q - old); };
    begin_ = moved(begin_);
    p_ = moved(p_);
    end_ = moved(end_);
    data_end_ = moved(data_end_);
    buffer_ = std::move(larger);
    capacity_ *= 2;
}

// Called when the text at hand is read to end_: drops it, keeping its line
// count, and reads the next lines. False when the file has no more.
bool input_text::more() {
    if (file_ == nullptr || (data_end_ == end_ && file_ended_)) return false;
    lines_before_ += std::count(begin_, end_, '\n');
    if (end_ != begin_) last_before_ = end_[-1];
    const auto rest = static_cast<std::size_t>(data_end_ - end_);
    std::memmove(buffer_.get(), end_, rest);
    begin_ = p_ = end_ = buffer_.get();
    data_end_ = begin_ + rest;
    fill(false);
    return p_ != end_;
}

std::size_t input_text::remaining() {
    if (!file_ended_) fill(true);
    return static_cast<std::size_t>(data_end_ - p_);
}

std::size_t input_text::known_remaining() const {
    std::size_t unread = 0;
    if (!file_ended_ && size_ && *size_ > read_) unread = static_cast<std::size_t>(*size_ - read_);
    return static_cast<std::size_t>(data_end_ - p_) + unread;
}

// The line that holds at; the end of the file counts as part of the last
// line, so a failure there names a line that the file has.
int input_text::line_of(const char* at) const {
    long long line = 1 + lines_before_;
    for (const char* q = begin_; q < at && q < end_; ++q)
        if (*q == '\n') ++line;
    const char last = end_ != begin_ ? end_[-1] : last_before_;
    if (at >= end_ && last == '\n') --line;
    return static_cast<int>(line);
}

std::string input_text::found(const char* at) const {
    if (at >= end_) return "the end of the file";
    std::string text;
    const char* q = at;
    while (q != end_ && static_cast<int>(text.size()) < longest_quote && *q != ' ' && *q != '\t' && *q != '\n' &&
           *q != '\r' && *q != '\f') {
        const auto c = static_cast<unsigned char>(*q++);
        if (c >= 32 && c < 127) {
            text += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    if (text.empty()) {
        const auto c = static_cast<unsigned char>(*at);
        char hex[32];
        std::snprintf(hex, sizeof hex, "the character \\x%02X", c);
        return hex;
    }
    if (q != end_ && static_cast<int>(text.size()) >= longest_quote) text += "...";
    return "\"" + text + "\"";
}

void input_text::fail_at(const char* at, const char* name, const std::string& message) const {
    throw failure(name, file_name_ + ":" + std::to_string(line_of(at)) + ": " + message);
}

void input_text::fail(const char* name, const std::string& message) const { fail_at(p_, name, message); }

void input_text::skip_line(const char* what) {
    if (p_ == end_) more();
    const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
    if (nl == nullptr)
        fail_at(end_, end_error,
                std::string("the file ends without a line end after the ") + what +
                    "; every line up to the last section's records must end with a line end");
    p_ = static_cast<const char*>(nl) + 1;
}

void input_text::scan(const char* what) {
    for (;;) {
        while (p_ != end_ && is_line_end(p_, end_)) p_ += (*p_ == '\r') ? 2 : 1;
        if (p_ == end_ && more()) continue;
        if (p_ == end_)
            fail_at(end_, end_error,
                    std::string("the file ends before the header of the ") + what +
                        " section (a line that begins with a colon)");
        const char first = *p_++;
        if (first != ':' && std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_)) == nullptr)
            fail_at(end_, end_error,
                    std::string("the file ends before the header of the ") + what +
                        " section (a line that begins with a colon)");
        skip_line(first == ':' ? "section header" : "comment line");
        if (first == ':') return;
    }
}

void input_text::skip_blanks() {
    do {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || is_line_end(p_, end_))) p_ += (*p_ == '\r') ? 2 : 1;
    } while (p_ == end_ && more());
}

input_text::number input_text::read_number(bool real, const char* what) {
    skip_blanks();
    const char* const start = p_;
    const char* const kind = real ? "a real" : "an integer";
    if (p_ == end_) fail_at(end_, end_error, std::string("the file ends where ") + kind + " (" + what + ") was expected");

    number n;
    const char* q = p_;
    if (*q == '+' || *q == '-') n.negative = (*q++ == '-');

    std::string digits;
    const char* after = numeral(q, end_, 10, digits);
    if (after == q)
        fail_at(start, data_error, std::string("expected ") + kind + " (" + what + "), found " + found(start));
    q = after;

    int base = 10;
    std::string fraction;
    if (q != end_ && *q == '#') {
        // base # digits [. digits] # [exponent]: a number in a base from 2 to 16.
        unsigned long long b = 0;
        if (!exact_value(digits, 10, b) || b < 2 || b > 16)
            fail_at(start, data_error,
                    "the base of the number " + found(start) + " (" + what + ") must lie in 2..16");
        base = static_cast<int>(b);
        digits.clear();
        after = numeral(q + 1, end_, base, digits);
        if (after == q + 1)
            fail_at(start, data_error,
                    "expected digits of base " + std::to_string(base) + " after '#' in " + found(start) + " (" +
                        what + ")");
        q = after;
        if (q != end_ && *q == '.') {
            after = numeral(q + 1, end_, base, fraction);
            if (after == q + 1 || !real)
                fail_at(start, data_error,
                        std::string("expected ") + kind + " (" + what + "), found " + found(start));
            q = after;
        }
        if (q == end_ || *q != '#')
            fail_at(start, data_error,
                    "expected a closing '#' after the digits of base " + std::to_string(base) + " in " +
                        found(start) + " (" + what + ")");
        ++q;
    } else if (real && q != end_ && *q == '.' && q + 1 != end_ && digit_value(q[1]) < 10) {
        q = numeral(q + 1, end_, 10, fraction);
    }

    // Exponent: E or e, an optional sign and decimal digits; for a based
    // number it is a power of the base.
    bool exponent_negative = false;
    std::string exponent_digits;
    if (q != end_ && (*q == 'E' || *q == 'e')) {
        const char* r = q + 1;
        bool negative = false;
        if (r != end_ && (*r == '+' || *r == '-')) negative = (*r++ == '-');
        after = numeral(r, end_, 10, exponent_digits);
        if (after != r) {
            q = after;
            exponent_negative = negative;
        } else {
            exponent_digits.clear();
        }
    }
    p_ = q;

    // The exponent saturates at a value beyond any double's range in any
    // base even after the digits of the longest text that fits in memory
    // have shifted it (0.000...1E400 with 100000 zeros is 1E-99600), and
    // small enough that four times it still fits in a long long.
    constexpr long long exponent_cap = 100'000'000'000'000'000;
    long long exponent = 0;
    for (char c : exponent_digits) exponent = std::min(exponent * 10 + (c - '0'), exponent_cap);
    if (exponent_negative) exponent = -exponent;

    // The number as it stands in the file, shortened for the message.
    const std::string text = q - start <= longest_quote ? std::string(start, q)
                                                        : std::string(start, start + longest_quote) + "...";
    if (!real) {
        if (exponent < 0)
            fail_at(start, data_error,
                    "expected an integer (" + std::string(what) + "), found " + found(start) +
                        " (an integer cannot have a negative exponent)");
        unsigned long long value = 0;
        bool fits = exact_value(digits, base, value);
        // A value other than 0 leaves the 64 bits within 64 multiplications.
        for (long long k = 0; fits && value != 0 && k < exponent; ++k) {
            if (value > ULLONG_MAX / static_cast<unsigned long long>(base)) fits = false;
            value *= static_cast<unsigned long long>(base);
        }
        const unsigned long long limit = n.negative ? 2147483648ULL : 2147483647ULL;
        if (!fits || value > limit)
            fail_at(start, data_error,
                    "the integer " + text + " (" + what + ") lies outside the range -2147483648..2147483647");
        n.integer = n.negative ? -static_cast<long long>(value) : static_cast<long long>(value);
        return n;
    }

    double value = 0.0;
    int log2 = 0;
    unsigned long long mantissa = 0;
    if (base == 10) {
        std::string decimal = digits;
        if (!fraction.empty()) {
            decimal += '.';
            decimal += fraction;
        }
        if (exponent != 0) {
            decimal += 'e';
            decimal += std::to_string(exponent);
        }
        const auto r = std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
        if (r.ec == std::errc::result_out_of_range) value = std::strtod(decimal.c_str(), nullptr);
    } else if (exact_value(digits + fraction, base, mantissa) && power_of_two(base, log2)) {
        // Exact but for the one rounding of a mantissa longer than 53 bits.
        const long long scale = static_cast<long long>(log2) * (exponent - static_cast<long long>(fraction.size()));
        value = std::ldexp(static_cast<double>(mantissa), static_cast<int>(std::clamp(scale, -100000LL, 100000LL)));
    } else {
        long double m = 0.0L;
        for (char c : digits + fraction) m = m * base + digit_value(c);
        // A zero mantissa is zero whatever the exponent (0 times an
        // overflowing power would be NaN).
        const long double scaled =
            m == 0 ? 0.0L
                   : m * std::pow(static_cast<long double>(base),
                                  static_cast<long double>(exponent - static_cast<long long>(fraction.size())));
        value = static_cast<double>(scaled);
    }
    if (!std::isfinite(value))
        fail_at(start, data_error, "the real " + text + " (" + std::string(what) + ") lies outside the range of a double");
    n.real = n.negative ? -value : value;
    return n;
}

namespace {

bool is_decimal(char c) { return c >= '0' && c <= '9'; }

// The end of the digits that start at p.
const char* decimal_digits(const char* p, const char* end) {
    while (p != end && is_decimal(*p)) ++p;
    return p;
}

// The end of the digits that start at p, and their value in value, wrapped
// modulo 2^64 when they are too many for it.
const char* decimal_digits(const char* p, const char* end, std::uint64_t& value) {
    value = 0;
    for (; p != end && is_decimal(*p); ++p) value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    return p;
}

// A character after which the plain forms below do not tell where the
// number ends: underscores, bases and exponents take the general path.
bool needs_general_path(const char* p, const char* end) {
    return p != end && (*p == '_' || *p == '#' || *p == 'E' || *p == 'e');
}

}  // namespace

// The plain forms, [sign] digits for an integer and [sign] digits [.digits]
// [E[sign]digits] for a real, which are nearly all numbers of a model file,
// are read here without building any string; everything else, and every
// failure, goes through read_number.
int input_text::read_integer(const char* what) {
    skip_blanks();
    const char* q = p_;
    bool negative = false;
    if (q != end_ && (*q == '+' || *q == '-')) negative = (*q++ == '-');
    const char* const digits = q;
    // Digits and value in one pass; the value is used only when there are
    // at most 9 digits.
    std::uint64_t value = 0;
    q = decimal_digits(q, end_, value);
    constexpr std::ptrdiff_t safe_digits = 9;  // any 9 digits fit in 32 bits
    if (q != digits && q - digits <= safe_digits && !needs_general_path(q, end_)) {
        p_ = q;
        const int v = static_cast<int>(value);
        return negative ? -v : v;
    }
    return static_cast<int>(read_number(false, what).integer);
}

double input_text::read_real(const char* what) {
    skip_blanks();
    const char* q = p_;
    bool negative = false;
    if (q != end_ && (*q == '+' || *q == '-')) negative = (*q++ == '-');
    const char* const number_start = q;
    std::uint64_t whole = 0;
    q = decimal_digits(q, end_, whole);
    if (q != number_start) {
        // A whole number of up to 15 digits is below 2^53: its double is
        // exact, which is what from_chars would give.
        constexpr std::ptrdiff_t exact_digits = 15;
        if (q - number_start <= exact_digits && (q == end_ || (*q != '.' && !needs_general_path(q, end_)))) {
            p_ = q;
            const double value = static_cast<double>(whole);
            return negative ? -value : value;
        }
        if (q + 1 < end_ && *q == '.' && is_decimal(q[1])) q = decimal_digits(q + 1, end_);
        if (q != end_ && (*q == 'E' || *q == 'e')) {
            const char* r = q + 1;
            if (r != end_ && (*r == '+' || *r == '-')) ++r;
            const char* const exponent = r;
            r = decimal_digits(r, end_);
            if (r != exponent) q = r;
        }
        double value = 0.0;
        if (!needs_general_path(q, end_)) {
            const auto result = std::from_chars(number_start, q, value, std::chars_format::general);
            if (result.ec == std::errc() && result.ptr == q && std::isfinite(value)) {
                p_ = q;
                return negative ? -value : value;
            }
        }
    }
    return read_number(true, what).real;
}

namespace {

// Refuses a count that the rest of the file cannot hold, before storage is
// allocated for it. Called directly after the count, so that the failure
// names the count's line.
void check_count(input_text& in, long long count, int numbers, const char* records) {
    const auto fits = [&](std::size_t rest) {
        return count <= 0 || static_cast<unsigned long long>(count) <= rest / min_record_bytes(numbers);
    };
    if (fits(in.known_remaining())) return;
    const std::size_t rest = in.remaining();
    if (!fits(rest))
        in.fail(end_error, "the count " + std::to_string(count) + " of " + records +
                               " is more than the rest of the file can hold (" + std::to_string(rest) + " bytes)");
}

void read_controls(input_text& in, model& m) {
    in.scan("control");
    m.eta = in.read_real("eta, line-search accuracy");
    m.search_limit = in.read_integer("search limit");
    m.tolerance = in.read_real("tolerance");
    m.reference_residue = in.read_real("reference residue");
    m.max_iterations = in.read_integer("maximum iterations");
    m.memory = in.read_integer("memory");
    in.skip_line("control values");
    if (!(m.tolerance > 0.0)) m.tolerance = default_tolerance;
}

void read_material(input_text& in, model& m) {
    in.scan("material");
    m.thickness = in.read_real("thickness");
    m.material_input_kind = in.read_integer("material kind");
    if (m.material_input_kind == 1) {
        const double mu = in.read_real("mu");
        const double bulk = in.read_real("bulk modulus");
        m.material = mat_rec::neo_hookean(mu, bulk);
    } else if (m.material_input_kind == 2) {
        const double c10 = in.read_real("c10");
        const double c01 = in.read_real("c01");
        const double bulk = in.read_real("bulk modulus");
        m.material = mat_rec::mooney_rivlin(c10, c01, bulk);
    }
    // Any other kind leaves the model without a material; the run fails
    // where the material is first needed.
    in.skip_line("material line");
}

void check_record_number(input_text& in, int k, int count, std::vector<char>& seen, const char* record) {
    if (k < 1 || k > count)
        in.fail(range_error, std::string(record) + " number " + std::to_string(k) + " outside 1.." +
                                 std::to_string(count));
    if (seen[static_cast<std::size_t>(k - 1)])
        in.fail(data_error, std::string(record) + " " + std::to_string(k) + " is given twice");
    seen[static_cast<std::size_t>(k - 1)] = 1;
}

void read_nodes(input_text& in, model& m) {
    in.scan("nodes");
    const int count = in.read_integer("node count");
    check_count(in, count, 4, "nodes");
    constexpr int most_nodes = INT_MAX / directions;  // keeps degree-of-freedom numbers in range
    if (count > most_nodes)
        in.fail(data_error, "the node count " + std::to_string(count) + " exceeds " + std::to_string(most_nodes));
    in.skip_line("node count");
    m.node_count = count;
    m.x = fmat1(count);
    m.y = fmat1(count);
    m.z = fmat1(count);
    in.skip_line("title line of the nodes");
    std::vector<char> seen(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (int r = 1; r <= count; ++r) {
        const int k = in.read_integer("node number");
        check_record_number(in, k, count, seen, "node");
        m.x(k) = in.read_real("first coordinate");
        m.y(k) = in.read_real("second coordinate");
        m.z(k) = in.read_real("third coordinate");
        in.skip_line("node record");
    }
}

void read_elements(input_text& in, model& m) {
    in.scan("elements");
    const int count = in.read_integer("element count");
    check_count(in, count, 4, "elements");
    in.skip_line("element count");
    m.elements = element_array(count);
    in.skip_line("title line of the elements");
    std::vector<char> seen(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (int r = 1; r <= count; ++r) {
        const int k = in.read_integer("element number");
        check_record_number(in, k, count, seen, "element");
        element_rec& e = m.elements(k);
        e.node(1) = in.read_integer("first node of the element");
        e.node(2) = in.read_integer("second node of the element");
        e.node(3) = in.read_integer("third node of the element");
        in.skip_line("element record");
    }
}

// Reads the records of a support or load section: node, direction, value.
template <class Store>
void read_node_values(input_text& in, const model& m, const char* section, const char* record, Store store) {
    in.scan(section);
    const int count = in.read_integer("record count");
    in.skip_line("record count");
    if (count <= 0) return;
    in.skip_line("title line");
    for (int r = 1; r <= count; ++r) {
        const int k = in.read_integer("node number");
        const int d = in.read_integer("direction");
        const double v = in.read_real("value");
        if (k < 1 || k > m.node_count)
            in.fail(range_error, std::string(record) + ": node number " + std::to_string(k) + " outside 1.." +
                                     std::to_string(m.node_count));
        if (d < 1 || d > directions)
            in.fail(range_error, std::string(record) + ": direction " + std::to_string(d) + " outside 1..3");
        store(k, d, v);
        in.skip_line(record);
    }
}

void read_sections(input_text& in, model& m) {
    read_controls(in, m);
    read_material(in, m);
    read_nodes(in, m);
    read_elements(in, m);

    m.dof_number = imat2(m.node_count, directions);
    m.prescribed = fmat2(m.node_count, directions);
    m.dof_number.fill(0);
    m.prescribed.fill(0.0);
    read_node_values(in, m, "supports", "prescribed displacement record", [&m](int k, int d, double v) {
        m.prescribed(k, d) = v;
        m.dof_number(k, d) = 1;
    });

    m.force = fmat2(m.node_count, directions);
    m.force.fill(0.0);
    read_node_values(in, m, "loads", "force record", [&m](int k, int d, double v) { m.force(k, d) = v; });
}

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void input(model& m) {
    errno = 0;
    const std::unique_ptr<std::FILE, file_closer> file(std::fopen(input_file_name, "rb"));
    if (file == nullptr)
        throw failure(name_error, std::string("cannot open \"") + input_file_name + "\" in the working directory: " +
                                      std::strerror(errno));
    // A directory or a pipe has no size.
    std::error_code no_size;
    const std::uintmax_t size = std::filesystem::file_size(input_file_name, no_size);
    read_model(m, file.get(), no_size ? std::nullopt : std::optional<std::uintmax_t>(size), input_file_name,
               input_piece);
}

void read_model(model& m, std::string_view text, const std::string& file_name) {
    input_text in(text, file_name);
    read_sections(in, m);
}

void read_model(model& m, std::FILE* file, std::optional<std::uintmax_t> size, const std::string& file_name,
                std::size_t piece) {
    input_text in(file, size, file_name, piece);
    read_sections(in, m);
}

}  // namespace velmora
