#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <QLocale>

namespace vexa {

// What the USB SPI debug window reads from its fields.

// The word count typed for a transfer. Empty text keeps `current`; other text is read as a
// regional decimal number (0 when it is not one) and rounded half to even. A count outside
// 0..255 is refused (nullopt); 0 then becomes 1 and anything above 16 becomes 16.
std::optional<uint8_t> DebugWordCount(const std::string& text, uint8_t current,
                                      const QLocale& locale = {});

// The delay between words typed in microseconds: rounded half to even, held to 1..255.
uint8_t DebugWordDelay(const std::string& text, const QLocale& locale = {});

// The static chip-select bits of the boxes CS2..CS5 (bits 3..6), and back.
uint8_t StaticBitsFromBoxes(const std::array<bool, 4>& cs2to5);
std::array<bool, 4> StaticBitsBoxes(uint8_t bits);

}  // namespace vexa
