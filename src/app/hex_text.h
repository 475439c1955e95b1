#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// Hexadecimal text of up to four digits to a number. Every character that is not a hexadecimal
// digit counts as a zero digit in its position. Positions are UTF-8 characters, not bytes.
// Longer text keeps only its last four characters, so no input can overflow and a typed
// "0x1234" still reads as 0x1234.
int32_t HexToLong(const std::string& text);
// As HexToLong, then folded into a 16-bit signed value (FFFF is -1).
int16_t HexToInteger(const std::string& text);
// "0x" and the low 16 bits as four upper-case hexadecimal digits.
std::string HexText(int32_t value);
// Upper-case hexadecimal digits of the low 16 bits, no prefix, no leading zeros ("378").
std::string HexDigits(int32_t value);

}  // namespace vexa
