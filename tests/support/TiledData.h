#pragma once
// Tile layer data as Tiled stores it, for tests and fuzz seeds that write maps
// by hand: one little-endian 32-bit id per cell, optionally compressed, as
// base64 text.
#include <cstdint>
#include <string>
#include <vector>

namespace varnok::test {

// The ids as Tiled's 4 bytes per cell.
std::string IdBytes(const std::vector<uint32_t>& ids);
std::string Base64(const std::string& bytes);
// bytes compressed with "zlib", "gzip" or "zstd"; "" leaves them as they are.
// Throws std::runtime_error for another name or when the library fails.
std::string Compressed(const std::string& bytes, const std::string& compression);
// The text of a <data encoding="base64" compression="..."> element.
std::string LayerData(const std::vector<uint32_t>& ids, const std::string& compression);

// A map text with the CSV data of its tile layers stored as `form` instead:
// "base64" (no compression), "zlib", "gzip", "zstd", or "xml" (one <tile>
// element per cell).
std::string MapWithLayerData(const std::string& mapText, const std::string& form);

} // namespace varnok::test
