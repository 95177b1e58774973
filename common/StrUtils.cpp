#include "common/StrUtils.h"

#include "common/Exception.h"

#include <cstdio>
#include <vector>

namespace varnok {

namespace {
char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = UpperChar(c);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = LowerChar(c);
    return r;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperChar(a[i]) != UpperChar(b[i])) return false;
    return true;
}

std::optional<int32_t> TryStrToInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        int d = hex ? HexDigit(s[i]) : ((s[i] >= '0' && s[i] <= '9') ? s[i] - '0' : -1);
        if (d < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    int64_t result;
    if (hex) {
        // Hexadecimal digits give the 32-bit pattern; the sign applies to it.
        result = static_cast<int32_t>(static_cast<uint32_t>(value));
        if (negative) result = -result;
        if (result > INT32_MAX) return std::nullopt; // -(-2^31)
    } else {
        result = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
        if (result > INT32_MAX || result < INT32_MIN) return std::nullopt;
    }
    return static_cast<int32_t>(result);
}

int32_t StrToInt(std::string_view s) {
    auto v = TryStrToInt(s);
    if (!v) throw EConvertError("'" + std::string(s) + "' ist kein g\xFCltiger Integerwert");
    return *v;
}

int32_t StrToIntDef(std::string_view s, int32_t def) { return TryStrToInt(s).value_or(def); }

std::string FormatV(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string r = FormatV(fmt, args);
    va_end(args);
    return r;
}

std::string EscapeControlBytes(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    std::string r;
    r.reserve(s.size());
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            r += "\\x";
            r.push_back(kHex[c >> 4]);
            r.push_back(kHex[c & 15]);
        } else {
            r.push_back(static_cast<char>(c));
        }
    }
    return r;
}

std::string Latin1ToUtf8(std::string_view s) {
    std::string r;
    r.reserve(s.size());
    for (unsigned char c : s) {
        if (c < 0x80) {
            r.push_back(static_cast<char>(c));
        } else {
            r.push_back(static_cast<char>(0xC0 | (c >> 6)));
            r.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return r;
}

std::string Utf8ToLatin1(std::string_view s) {
    std::string r;
    r.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            r.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        uint32_t code = length == 4 ? c & 0x07u : length == 3 ? c & 0x0Fu : c & 0x1Fu;
        bool valid = length > 1 && i + length <= s.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (t & 0x3Fu);
        }
        if (!valid) {
            r.push_back('?');
            ++i;
            continue;
        }
        r.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
        i += length;
    }
    return r;
}

} // namespace varnok
