#include "levelsource/SourceText.h"

#include "common/Exception.h"
#include "common/Files.h"
#include "common/StrUtils.h"


namespace varnok::levelc {

namespace {

// Decodes one UTF-8 line into Latin-1. Returns the column of the first
// character that cannot be decoded or stored, or 0 when the line is fine.
int DecodeUtf8Line(std::string_view in, std::string& out, std::string& problem) {
    out.clear();
    size_t i = 0;
    while (i < in.size()) {
        const auto b = static_cast<unsigned char>(in[i]);
        const int col = static_cast<int>(out.size()) + 1;
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        int extra = 0;
        uint32_t cp = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
        } else {
            problem = "the file is not UTF-8 text";
            return col;
        }
        if (i + static_cast<size_t>(extra) >= in.size()) {
            problem = "the file is not UTF-8 text";
            return col;
        }
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(in[i + static_cast<size_t>(k)]);
            if ((c & 0xC0) != 0x80) {
                problem = "the file is not UTF-8 text";
                return col;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < 0x80 || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000)) {
            problem = "the file is not UTF-8 text";
            return col;
        }
        if (cp > 0xFF) {
            problem = Format("character U+%04X cannot be written in the game's 8-bit texts", cp);
            return col;
        }
        out.push_back(static_cast<char>(cp));
        i += static_cast<size_t>(extra) + 1;
    }
    return 0;
}

} // namespace

std::vector<SourceLine> ReadSourceLines(const std::string& path, Diagnostics& diag) {
    std::vector<SourceLine> lines;
    std::string bytes;
    try {
        bytes = ReadWholeFile(path);
    } catch (const EFileError&) {
        diag.Error(SourcePos{path}, "cannot open the file");
        return lines;
    }
    size_t start = 0;
    int number = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string_view raw(bytes.data() + start, end - start);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        ++number;
        SourceLine line;
        line.number = number;
        std::string problem;
        if (const int col = DecodeUtf8Line(raw, line.text, problem)) {
            diag.Error(SourcePos{path, number, col}, problem);
            line.text.resize(static_cast<size_t>(col - 1));
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool DecodeUtf8Text(std::string_view utf8, std::string& latin1, std::string& problem) {
    return DecodeUtf8Line(utf8, latin1, problem) == 0;
}

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string Trim(std::string_view s) {
    return std::string(TrimView(s));
}

std::vector<Word> SplitWords(std::string_view s, int firstCol) {
    std::vector<Word> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i >= s.size()) break;
        const size_t begin = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t')
            ++i;
        words.push_back(Word{std::string(s.substr(begin, i - begin)), firstCol + static_cast<int>(begin)});
    }
    return words;
}

std::optional<int32_t> ParseNumber(std::string_view s) {
    if (s.empty() || s.front() == ' ') return std::nullopt;
    // Only decimal and 0x.. forms: "$1F" or "x1F" would be legal for the game
    // but read as typing errors here.
    std::string_view digits = s;
    if (digits.front() == '+' || digits.front() == '-') digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    if (digits.front() == '$' || digits.front() == 'x' || digits.front() == 'X') return std::nullopt;
    return TryStrToInt(s);
}

bool IsBlankOrComment(std::string_view s) {
    const std::string_view t = TrimView(s);
    return t.empty() || t.front() == ';';
}

bool DrawableChar(unsigned char c) {
    if (c >= 0x20 && c <= 0x5F) return true;
    if (c >= 'a' && c <= 'z') return true;
    return c == 0xC4 || c == 0xD6 || c == 0xDC || c == 0xDF || c == 0xE4 || c == 0xF6 || c == 0xFC;
}

bool StorableChar(unsigned char c) {
    return c != 0xF2 && c != 0xF5 && c != 0xFF;
}

std::string Shown(std::string_view latin1) {
    return Latin1ToUtf8(latin1);
}

} // namespace varnok::levelc
