#include "levelsource/Output.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <filesystem>
#include <fstream>

namespace varnok::levelc {

namespace {

const char* const kEol = "\r\n";

void Line(std::string& out, const std::string& text) {
    out += text;
    out += kEol;
}

template <class T> void DataRows(std::string& out, const std::vector<T>& values, int width) {
    std::string row;
    for (size_t i = 0; i < values.size(); ++i) {
        if (!row.empty()) row += ',';
        row += std::to_string(values[i]);
        if ((i + 1) % static_cast<size_t>(width) == 0) {
            Line(out, row);
            row.clear();
        }
    }
    if (!row.empty()) Line(out, row);
}

} // namespace

std::string LevelIniText(const std::vector<LevelSource>& levels) {
    std::string out;
    Line(out,
         "; Level maps of the game, written by levelc from content/levels. Do not edit: edit the sources.");
    Line(out, "[Global]");
    Line(out, Format("TileCount=%zu", levels.size()));
    Line(out, "");
    for (const LevelSource& level : levels) {
        const std::string head = Format("Level%d", level.number);
        Line(out, "[" + head + "]");
        Line(out, Format("TileWidth=%d", level.cellW));
        Line(out, Format("TileHeight=%d", level.cellH));
        Line(out, "Bitmap=" + level.bitmap);
        Line(out, Format("TransparentR=%d", level.transparent[0]));
        Line(out, Format("TransparentG=%d", level.transparent[1]));
        Line(out, Format("TransparentB=%d", level.transparent[2]));
        Line(out, Format("SequenceCount=%zu", level.sequences.size()));
        Line(out, Format("LayerCount=%zu", level.layers.size()));
        Line(out, "");
        for (const LayerSource& layer : level.layers) {
            const std::string section = head + Format("Layer%d", layer.number);
            Line(out, "[" + section + "]");
            Line(out, Format("ScrollX=%d", layer.scrollX));
            Line(out, Format("ScrollY=%d", layer.scrollY));
            // Rows is the width and Cols the height.
            Line(out, Format("Rows=%d", layer.width));
            Line(out, Format("Cols=%d", layer.height));
            Line(out, "");
            Line(out, "[" + section + "Data]");
            DataRows(out, layer.tiles, layer.width);
            Line(out, "");
            if (layer.number == 3) {
                Line(out, "[" + section + "Bound]");
                DataRows(out, layer.bounds, layer.width);
                Line(out, "");
            }
        }
        if (!level.sequences.empty()) {
            Line(out, "[" + head + "SeqLength]");
            for (size_t k = 0; k < level.sequences.size(); ++k)
                Line(out, Format("%sSeq%zu=%zu", head.c_str(), k + 1, level.sequences[k].frames.size()));
            Line(out, "");
            for (size_t k = 0; k < level.sequences.size(); ++k) {
                const SequenceSource& seq = level.sequences[k];
                Line(out, Format("[%sSeq%zu]", head.c_str(), k + 1));
                std::string pairs;
                for (int16_t frame : seq.frames) {
                    if (!pairs.empty()) pairs += ',';
                    pairs += Format("%d,%d", frame, seq.fps);
                }
                Line(out, pairs);
                Line(out, "");
            }
        }
    }
    return out;
}

std::string IniText(const std::vector<SettingsSection>& sections, const std::string& comment) {
    std::string out;
    if (!comment.empty()) Line(out, "; " + comment);
    for (const SettingsSection& section : sections) {
        Line(out, "[" + section.name + "]");
        for (const auto& [key, value] : section.values)
            Line(out, key + "=" + value);
        Line(out, "");
    }
    return out;
}

void WriteTextFile(const std::string& path, const std::string& text) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) throw EFileError("cannot write " + temp);
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw EFileError("cannot write " + path);
    }
}

} // namespace varnok::levelc
