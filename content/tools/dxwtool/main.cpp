// dxwtool: builds and lists wave-list files (the game's SND\Sounds.dxw).
#include "media/WaveListFile.h"

#include "common/Exception.h"
#include "common/Files.h"
#include "common/StrUtils.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace varnok;

namespace {

const char* kHelp = R"(usage: dxwtool build OUT.dxw MANIFEST
       dxwtool list FILE.dxw
       dxwtool --help

build  writes a wave-list file from the sounds a manifest names.
list   prints each item: position, name, looped, max playing count and
       the wave's format (channels, sample rate, bits) and sample bytes.

Manifest: one sound per line, items in file order; '#' starts a comment.
  NAME  WAVFILE  [looped]  [max N]
NAME     the sound's name (no spaces; found by the game without regard to
         letter case, so two names differing only in case are refused)
WAVFILE  a PCM WAV file (8 or 16 bits, mono or stereo); a relative path is
         taken from the manifest's folder
looped   the sound plays endlessly when started
max N    at most N overlapping plays (0 or absent: no limit)
Example:
  Jump      sounds/Jump.wav      max 2
  Automove  sounds/Automove.wav  looped

Exit status: 0 on success, 1 with a message on bad input.
)";

// The file's bytes, with the tool's own short message when it cannot be read.
std::string ReadWhole(const std::string& path) {
    try {
        return ReadWholeFile(path);
    } catch (const EFileError&) {
        throw Exception("cannot open " + path);
    }
}

uint32_t Le32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

// A WAV file as written by ordinary tools: chunks padded to even length.
TWaveData ReadWavFile(const std::string& path) {
    const std::string bytes = ReadWhole(path);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        throw Exception(path + ": not a RIFF WAVE file");
    TWaveData wave;
    bool haveFormat = false, haveData = false;
    size_t pos = 12;
    while (bytes.size() - pos >= 8) {
        const std::string id = bytes.substr(pos, 4);
        const size_t size = Le32(bytes, pos + 4);
        pos += 8;
        if (size > bytes.size() - pos) throw Exception(path + ": chunk '" + id + "' runs past the end of the file");
        if (id == "fmt ") {
            wave.Format = bytes.substr(pos, size);
            haveFormat = true;
        } else if (id == "data") {
            wave.Samples = bytes.substr(pos, size);
            haveData = true;
        }
        pos += size + (size & 1);
        if (pos > bytes.size()) pos = bytes.size();
    }
    if (!haveFormat) throw Exception(path + ": no 'fmt ' chunk");
    if (!haveData) throw Exception(path + ": no 'data' chunk");
    if (wave.Format.size() < 16 || wave.FormatTag() != 1) throw Exception(path + ": not PCM");
    if (wave.Channels() < 1 || wave.Channels() > 2 || (wave.BitsPerSample() != 8 && wave.BitsPerSample() != 16))
        throw Exception(path + ": only 8- or 16-bit mono or stereo PCM is accepted");
    if (wave.SamplesPerSec() < 1000 || wave.SamplesPerSec() > 192000)
        throw Exception(path + ": sample rate out of range");
    if (wave.Samples.size() % (wave.Channels() * wave.BitsPerSample() / 8) != 0)
        throw Exception(path + ": sample data ends in the middle of a frame");
    return wave;
}

std::vector<TWaveListEntry> ReadManifest(const std::string& manifestPath) {
    const std::string text = ReadWhole(manifestPath);
    const std::filesystem::path base = std::filesystem::path(manifestPath).parent_path();
    std::vector<TWaveListEntry> entries;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string where = manifestPath + ":" + std::to_string(lineNo) + ": ";
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        if (w.size() < 2) throw Exception(where + "expected NAME WAVFILE [looped] [max N]");
        TWaveListEntry e;
        e.Name = w[0];
        if (e.Name.size() > 255) throw Exception(where + "name longer than 255 characters");
        for (const TWaveListEntry& other : entries)
            if (SameText(other.Name, e.Name)) throw Exception(where + "the name '" + e.Name + "' is used twice");
        for (size_t i = 2; i < w.size(); ++i) {
            if (w[i] == "looped") {
                e.Looped = true;
            } else if (w[i] == "max" && i + 1 < w.size()) {
                auto n = TryStrToInt(w[++i]);
                if (!n || *n < 0) throw Exception(where + "max: '" + w[i] + "' is not a count");
                e.MaxPlayingCount = *n;
            } else {
                throw Exception(where + "unexpected '" + w[i] + "'");
            }
        }
        std::filesystem::path wav(w[1]);
        if (wav.is_relative()) wav = base / wav;
        try {
            e.Wave = ReadWavFile(wav.string());
        } catch (const Exception& ex) {
            throw Exception(where + ex.what());
        }
        entries.push_back(std::move(e));
    }
    if (entries.empty()) throw Exception(manifestPath + ": the manifest names no sound");
    return entries;
}

int Build(const std::string& out, const std::string& manifest) {
    const std::string bytes = WriteWaveListFile(ReadManifest(manifest));
    // Write beside the target and rename, so a failed build leaves no half file.
    const std::string temp = out + ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (!f) throw Exception("cannot create " + temp);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        f.close();
        if (!f) throw Exception("cannot write " + temp);
    }
    std::error_code ec;
    std::filesystem::rename(temp, out, ec);
    if (ec) throw Exception("cannot write " + out + ": " + ec.message());
    return 0;
}

int List(const std::string& file) {
    TWaveListData list;
    list.LoadFromFile(file);
    for (int i = 0; i < list.Count(); ++i) {
        const TWaveListEntry& e = list.Items(i);
        std::printf("%2d  %-12s  looped=%s  max=%d  %u ch  %u Hz  %u bit  %zu bytes\n", i,
                    Latin1ToUtf8(e.Name).c_str(), e.Looped ? "yes" : "no", e.MaxPlayingCount,
                    e.Wave.Channels(), e.Wave.SamplesPerSec(), e.Wave.BitsPerSample(), e.Wave.Samples.size());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kHelp;
        return 0;
    }
    try {
        if (argc == 4 && std::strcmp(argv[1], "build") == 0) return Build(argv[2], argv[3]);
        if (argc == 3 && std::strcmp(argv[1], "list") == 0) return List(argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "dxwtool: " << Latin1ToUtf8(e.what()) << "\n";
        return 1;
    }
    std::cerr << kHelp;
    return 1;
}
