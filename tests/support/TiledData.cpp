#include "tests/support/TiledData.h"

#include <pugixml.hpp>

#include <sstream>
#include <stdexcept>
#include <zlib.h>
#include <zstd.h>

namespace varnok::test {

std::string IdBytes(const std::vector<uint32_t>& ids) {
    std::string out;
    out.reserve(ids.size() * 4);
    for (uint32_t id : ids)
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<char>((id >> shift) & 0xFF));
    return out;
}

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            out.push_back(digits[(v >> shift) & 63]);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out.push_back(digits[(v >> 18) & 63]);
        out.push_back(digits[(v >> 12) & 63]);
        out.push_back(rest == 2 ? digits[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string Compressed(const std::string& bytes, const std::string& compression) {
    if (compression.empty()) return bytes;
    if (compression == "zstd") {
        std::string out(ZSTD_compressBound(bytes.size()), '\0');
        const size_t n = ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 3);
        if (ZSTD_isError(n)) throw std::runtime_error(ZSTD_getErrorName(n));
        out.resize(n);
        return out;
    }
    if (compression != "zlib" && compression != "gzip")
        throw std::runtime_error("unknown compression " + compression);
    z_stream z{};
    // Window bits 15 write a zlib stream; 15 + 16 a gzip member.
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, compression == "gzip" ? 31 : 15, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

std::string LayerData(const std::vector<uint32_t>& ids, const std::string& compression) {
    return Base64(Compressed(IdBytes(ids), compression));
}

std::string MapWithLayerData(const std::string& mapText, const std::string& form) {
    pugi::xml_document doc;
    if (!doc.load_buffer(mapText.data(), mapText.size())) throw std::runtime_error("the map is broken XML");
    for (pugi::xml_node layer : doc.child("map").children("layer")) {
        pugi::xml_node data = layer.child("data");
        std::vector<uint32_t> ids;
        std::istringstream csv(data.text().as_string());
        for (std::string cell; std::getline(csv, cell, ',');)
            ids.push_back(static_cast<uint32_t>(std::stoul(cell)));
        layer.remove_child(data);
        data = layer.append_child("data");
        if (form == "xml") {
            for (uint32_t id : ids) {
                pugi::xml_node tile = data.append_child("tile");
                if (id) tile.append_attribute("gid") = id;
            }
            continue;
        }
        data.append_attribute("encoding") = "base64";
        const std::string compression = form == "base64" ? "" : form;
        if (!compression.empty()) data.append_attribute("compression") = compression.c_str();
        data.text().set(("\n   " + LayerData(ids, compression) + "\n  ").c_str());
    }
    std::ostringstream out;
    doc.save(out, " ");
    return out.str();
}

} // namespace varnok::test
