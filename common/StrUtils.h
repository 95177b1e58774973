#pragma once
// Text helpers with the game's rules: 8-bit texts stay bytes, letter case is
// folded for ASCII letters only, and the integer conversion is strict.
#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnok {

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Equal without regard to ASCII letter case.
bool SameText(std::string_view a, std::string_view b);

// Strict integer conversion: leading spaces skipped, optional sign, "$", "x",
// "X", "0x" or "0X" for hexadecimal, then nothing but digits. Decimal values
// must fit a signed 32-bit integer; hexadecimal values may use all 32 bits
// (0xFFFFFFFF is -1). Returns nothing when the text does not convert.
std::optional<int32_t> TryStrToInt(std::string_view s);
// As TryStrToInt, but raises EConvertError "'%s' ist kein gültiger Integerwert".
int32_t StrToInt(std::string_view s);
int32_t StrToIntDef(std::string_view s, int32_t def);

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

// The text with its control bytes (below 0x20, 0x7F and 0x80-0x9F) written
// as "\xNN": a line quoted from a broken file then cannot move the cursor,
// ring the bell or change a terminal's settings.
std::string EscapeControlBytes(std::string_view s);

// Latin-1 bytes to UTF-8, for texts shown by the GUI layer.
std::string Latin1ToUtf8(std::string_view s);
// UTF-8 typed into the GUI back to Latin-1 bytes: a character beyond Latin-1
// and a broken sequence become "?".
std::string Utf8ToLatin1(std::string_view s);

} // namespace varnok
