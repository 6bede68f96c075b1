// Number formats of the output files.
//
// Integers: decimal, a leading "-" when negative, right-aligned with blanks
// to a field width; a number that needs more characters widens the field.
//
// Reals with (fore, aft, exp): a "-" when negative, one digit (non-zero
// unless the value is 0), the point, aft digits, "E", the exponent's sign
// and at least exp - 1 digits. Sign and first digit are right-aligned in
// fore characters. The exact binary value is rounded to aft digits with a
// half in the last place going away from zero; a carry renormalises
// (9.9999999 -> 1.000000E+01). Zero, negative zero included, is written
// 0.000...E+00. A value that is not finite is written as "NaN", "Inf" or
// "-Inf", right-aligned to the width an ordinary value has in that field
// (fore + 1 + aft + 1 + exp). With aft 0 the point is still written
// ("3.E+00"). The buffer sizes below hold for fore >= 1 and exp <= 37.
#pragma once

#include <cstddef>

namespace velmora {

// The most characters one formatted number may take, beyond the blanks of
// its field width.
inline constexpr std::size_t max_number_chars = 40;

// Writes value into p and returns the end; needs max(width, 20) + 1 chars
// (LLONG_MIN takes 20).
char* format_integer(char* p, long long value, int width);

// Writes value into p and returns the end; needs fore + aft + max_number_chars.
char* format_real(char* p, double value, int fore, int aft, int exp);

// As format_real, but a value that is not finite is written as its word alone.
char* format_real_unpadded(char* p, double value, int fore, int aft, int exp);

}  // namespace velmora
