// Integer texts: one scanner for every form the system reads, each caller
// naming its rule: the blanks it skips, the signs and bases it takes, what a
// text without digits is, and what a number beyond its range becomes. The
// rules of the forms in use are named here, each with its readers. Over char
// (the code page) and char16_t (UTF-16) text alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// The bases a rule takes.
enum class IntegerBases {
  kAuto,          // "0x" or "0X" hexadecimal, a leading "0" octal, else decimal
  kDecimalOrHex,  // "0x" or "0X" hexadecimal, else decimal
  kHex,           // hexadecimal digits, no prefix
};

// What a text without digits reads as: the empty text, or blanks, a sign
// and a "0x" with no digit after them.
enum class IntegerEmpty {
  kRefused,     // no number at all
  kTextIsZero,  // the empty text reads as 0; anything else without digits
                // is refused
  kZero,        // any of them reads as 0
};

// What becomes of a number beyond the range of a rule's bits, and of a '-'.
enum class IntegerOverflow {
  kClamp,  // signed range: the nearer end of it; a '-' negates
  kWrap,   // unsigned range: a larger magnitude is refused; a '-' wraps the
           // number around, to 2^bits minus its magnitude
  kFail,   // unsigned range: a larger magnitude is refused, and so is a '-'
};

// How one caller reads integers.
struct IntegerRule {
  const char* blanks;        // what may stand before the number ("" nothing)
  bool plus;                 // a '+' may lead the number
  IntegerBases bases;        // the bases it takes
  IntegerEmpty empty;        // a text without digits
  uint32_t max_digits;       // the most digits a number has; 0 any number
  uint32_t bits;             // 32 or 64: the width of the number
  IntegerOverflow overflow;  // beyond the range of bits
};

// C's strtol with base 0 into a 32-bit long, as SetupAPI reads an integer
// field and zebcfg an integer literal: C's blanks, a sign, any base, the
// signed 32-bit range, clamped; the empty text reads as 0.
constexpr IntegerRule kCLongRule = {" \t\n\v\f\r",
                                    true,
                                    IntegerBases::kAuto,
                                    IntegerEmpty::kTextIsZero,
                                    0,
                                    32,
                                    IntegerOverflow::kClamp};

// reg add's /d of a REG_DWORD: blanks and tabs, a '+' but no '-', decimal
// or 0x hexadecimal, 32 bits; no digits at all (the empty text too) read 0.
constexpr IntegerRule kRegDwordRule = {
    " \t", true, IntegerBases::kDecimalOrHex, IntegerEmpty::kZero,
    0,     32,   IntegerOverflow::kFail};

// reg add's /d of a REG_QWORD: as kRegDwordRule with 64 bits, and a '-'
// that wraps the number around.
constexpr IntegerRule kRegQwordRule = {
    " \t", true, IntegerBases::kDecimalOrHex, IntegerEmpty::kZero,
    0,     64,   IntegerOverflow::kWrap};

// An AddReg REG_DWORD as SetupAPI's installer reads it: no blanks, a '-'
// that wraps the number around but no '+', any base, 32 bits.
constexpr IntegerRule kInfDwordRule = {
    "", false, IntegerBases::kAuto,   IntegerEmpty::kRefused,
    0,  32,    IntegerOverflow::kWrap};

// One or two hexadecimal digits: a byte of binary data as registry files,
// INF AddReg lines and reg add's /d write it.
constexpr IntegerRule kHexByteRule = {
    "", false, IntegerBases::kHex,    IntegerEmpty::kRefused,
    2,  32,    IntegerOverflow::kFail};

// One to eight hexadecimal digits: the dword: data and the hex(...) value
// type of a registry file.
constexpr IntegerRule kHexWordRule = {
    "", false, IntegerBases::kHex,    IntegerEmpty::kRefused,
    8,  32,    IntegerOverflow::kFail};

// The value of the hexadecimal digit unit; -1 for any other unit.
template <typename Unit>
int hex_digit_value(Unit unit) {
  uint32_t c = static_cast<typename std::make_unsigned<Unit>::type>(unit);
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// The largest magnitude rule takes for a number of that sign.
inline uint64_t integer_limit(const IntegerRule& rule, bool negative) {
  if (rule.overflow == IntegerOverflow::kClamp) {
    uint64_t half = uint64_t{1} << (rule.bits - 1);
    return negative ? half : half - 1;
  }
  return rule.bits >= 64 ? UINT64_MAX : (uint64_t{1} << rule.bits) - 1;
}

// The base that the text at *pos selects by rule; moves *pos past a "0x".
template <typename Unit>
uint32_t integer_base(const Unit* text, size_t length, IntegerBases bases,
                      size_t* pos) {
  if (bases == IntegerBases::kHex) return 16;
  size_t at = *pos;
  if (at >= length || text[at] != '0') return 10;
  if (at + 1 < length && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    *pos = at + 2;
    return 16;
  }
  return bases == IntegerBases::kAuto ? 8 : 10;
}

// Reads the number that text[0, length) begins with, by rule: the number in
// *value (a negative one as 2^64 minus its magnitude, so that its low
// rule.bits bits are its two's complement) and the units it takes in *used.
// False when text begins with no number of the rule, or with one that the
// rule refuses.
template <typename Unit>
bool scan_integer(const Unit* text, size_t length, const IntegerRule& rule,
                  uint64_t* value, size_t* used) {
  size_t pos = 0;
  if (length == 0 && rule.empty != IntegerEmpty::kRefused) {
    *value = 0;
    *used = 0;
    return true;
  }
  while (pos < length && text[pos] > 0 && text[pos] < 0x80 &&
         std::strchr(rule.blanks, static_cast<char>(text[pos])) != nullptr) {
    ++pos;
  }
  bool negative = pos < length && text[pos] == '-' &&
                  rule.overflow != IntegerOverflow::kFail;
  if (negative || (pos < length && text[pos] == '+' && rule.plus)) ++pos;
  uint32_t base = integer_base(text, length, rule.bases, &pos);
  size_t first_digit = pos;
  uint64_t magnitude = 0;
  bool beyond = false;
  for (; pos < length; ++pos) {
    int digit = hex_digit_value(text[pos]);
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) break;
    if (magnitude > (UINT64_MAX - static_cast<uint32_t>(digit)) / base) {
      beyond = true;
    } else {
      magnitude = magnitude * base + static_cast<uint32_t>(digit);
    }
  }
  size_t digits = pos - first_digit;
  if (digits == 0 && rule.empty != IntegerEmpty::kZero) return false;
  if (rule.max_digits != 0 && digits > rule.max_digits) return false;
  uint64_t limit = integer_limit(rule, negative);
  if (beyond || magnitude > limit) {
    if (rule.overflow != IntegerOverflow::kClamp) return false;
    magnitude = limit;
  }
  *value = negative ? 0 - magnitude : magnitude;
  *used = pos;
  return true;
}

// True when the whole of text[0, length) is one number by rule, stored in
// *value as scan_integer stores it.
template <typename Unit>
bool read_integer(const Unit* text, size_t length, const IntegerRule& rule,
                  uint64_t* value) {
  size_t used = 0;
  uint64_t number = 0;
  if (!scan_integer(text, length, rule, &number, &used) || used != length) {
    return false;
  }
  *value = number;
  return true;
}

// Reads the whole of text by kCLongRule into *value; false, *value
// unchanged, when it is no such number.
inline bool read_c_long(const char* text, int32_t* value) {
  uint64_t number = 0;
  if (!read_integer(text, std::strlen(text), kCLongRule, &number)) {
    return false;
  }
  *value = static_cast<int32_t>(static_cast<uint32_t>(number));
  return true;
}
