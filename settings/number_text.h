// Numbers in profile values, read the way the C run-time's decimal
// conversions (wcstol, wcstod) read them, but never depending on the
// process's locale: a host that switched to a decimal comma must not change
// what a profile means.
//
// Thread safety: pure functions, any thread.
#pragma once

#include <cstdint>
#include <string_view>

// Leading blanks, an optional sign and the leading decimal digits give the
// value; text without leading digits gives 0. Values beyond the 32-bit
// range saturate, as the 32-bit run-time's long does.
std::int32_t decimalTextToInt(std::u16string_view text);

// Leading blanks, an optional sign, then the longest decimal number
// (digits, a '.', an exponent); 0 when there is none. Only decimal text is
// taken (no hexadecimal, "inf" or "nan"). Too large a magnitude gives
// +-HUGE_VAL, too small a one 0.
double decimalTextToDouble(std::u16string_view text);
