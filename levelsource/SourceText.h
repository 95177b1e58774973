#pragma once
// Reading the text sources: UTF-8 files turned into lines of the game's 8-bit
// (Latin-1) text, and the small parsing helpers the source formats share.
#include "levelsource/Diagnostics.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnok::levelc {

struct SourceLine {
    int number = 0;   // 1-based line number
    std::string text; // Latin-1, line break removed
};

// Reads a UTF-8 text file (a Latin-1 file that is not valid UTF-8 is refused
// too, so that a text never changes its meaning silently). Characters beyond
// Latin-1 are errors. Columns of the result count characters.
std::vector<SourceLine> ReadSourceLines(const std::string& path, Diagnostics& diag);

// A UTF-8 text (from an XML file) as Latin-1; false with the reason when it
// is not UTF-8 or holds a character beyond Latin-1.
bool DecodeUtf8Text(std::string_view utf8, std::string& latin1, std::string& problem);

std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);
// Words separated by spaces or tabs, with the column (1-based) of each.
struct Word {
    std::string text;
    int col = 0;
};
std::vector<Word> SplitWords(std::string_view s, int firstCol = 1);

// A whole number written in decimal or as 0x.. hexadecimal, optionally signed.
std::optional<int32_t> ParseNumber(std::string_view s);
// A comment line: empty, or its first non-blank character is ';'.
bool IsBlankOrComment(std::string_view s);
// Can the game's bitmap fonts draw this character? (space to '_', letters of
// either case, and the German umlauts and sharp s)
bool DrawableChar(unsigned char c);
// The bytes the enciphered stores cannot hold: their complements are line
// breaks and the end-of-text byte.
bool StorableChar(unsigned char c);
// The text for a message: Latin-1 to UTF-8.
std::string Shown(std::string_view latin1);

} // namespace varnok::levelc
