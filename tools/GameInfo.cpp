#include "tools/GameInfo.h"

#include "common/Files.h"
#include "common/StrUtils.h"

#include <sstream>

namespace varnok {

namespace {

// A small text file, or nothing when it cannot be read for any reason.
std::string ReadSource(const std::string& path) {
    try {
        return ReadWholeFileIfExists(path, 1u << 20).value_or("");
    } catch (const std::exception&) {
        return "";
    }
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The value of KEY=VALUE in os-release, quotes and escapes removed.
std::string OsReleaseValue(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.rfind(key + "=", 0) != 0) continue;
        std::string v = line.substr(key.size() + 1);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
            const char quote = v.front();
            std::string r;
            for (size_t i = 1; i + 1 < v.size(); ++i) {
                if (quote == '"' && v[i] == '\\' && i + 2 < v.size()) ++i;
                r.push_back(v[i]);
            }
            return r;
        }
        return v;
    }
    return "";
}

// "Name:   value" lines of /proc/meminfo and /proc/cpuinfo: the first value
// of that name, trimmed.
std::string ColonValue(const std::string& text, const std::string& name) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || Trim(line.substr(0, colon)) != name) continue;
        return Trim(line.substr(colon + 1));
    }
    return "";
}

// A meminfo figure in KB ("24683772 kB"); 0 when missing or not a number.
uint64_t MemInfoKb(const std::string& text, const std::string& name, bool* found = nullptr) {
    const std::string v = ColonValue(text, name);
    uint64_t n = 0;
    size_t digits = 0;
    while (digits < v.size() && digits < 19 && v[digits] >= '0' && v[digits] <= '9')
        n = n * 10 + static_cast<uint64_t>(v[digits++] - '0');
    if (found) *found = digits > 0;
    return n;
}

std::string Megabytes(uint64_t freeKb, uint64_t totalKb) {
    return "  " + std::to_string(freeKb / 1024) + "MB of " + std::to_string(totalKb / 1024) + "MB";
}

} // namespace

TGameInfo::TGameInfo(const TSystemSources& sources, std::string mediaVersion)
    : DirectXvs(std::move(mediaVersion)) {
    std::string osRelease;
    for (const std::string& path : sources.OsRelease) {
        osRelease = ReadSource(path);
        if (!osRelease.empty()) break;
    }
    OSPlatform = OsReleaseValue(osRelease, "NAME");
    const std::string version = OsReleaseValue(osRelease, "VERSION_ID");
    const std::string kernel = Trim(ReadSource(sources.KernelRelease));
    OSVersion = version;
    if (!kernel.empty()) OSVersion += (version.empty() ? "(" : " (") + kernel + ")";

    const std::string mem = ReadSource(sources.MemInfo);
    dwTotalPhys = MemInfoKb(mem, "MemTotal");
    bool haveAvailable = false;
    dwAvailPhys = MemInfoKb(mem, "MemAvailable", &haveAvailable);
    if (!haveAvailable) dwAvailPhys = MemInfoKb(mem, "MemFree");
    dwTotalPageFile = MemInfoKb(mem, "SwapTotal");
    dwAvailPageFile = MemInfoKb(mem, "SwapFree");
    // Virtual memory: what the system can commit (memory and swap) and how
    // much of that is not yet promised to processes.
    dwTotalVirtual = MemInfoKb(mem, "CommitLimit");
    const uint64_t committed = MemInfoKb(mem, "Committed_AS");
    dwAvailVirtual = committed < dwTotalVirtual ? dwTotalVirtual - committed : 0;

    CPUvendor = ColonValue(ReadSource(sources.CpuInfo), "vendor_id");
}

std::vector<std::string> SystemReport(const TGameInfo& info) {
    return {"Operating system:",
            "  " + info.OSPlatform + " " + info.OSVersion,
            "DirectX:",
            "  " + info.DirectXvs,
            "Memory (physical):",
            Megabytes(info.dwAvailPhys, info.dwTotalPhys),
            "Memory (virtual):",
            Megabytes(info.dwAvailVirtual, info.dwTotalVirtual),
            "Swap file:",
            Megabytes(info.dwAvailPageFile, info.dwTotalPageFile),
            "CPU:",
            "  " + info.CPUvendor};
}

std::string TDirectXForm::Text() const {
    std::string text;
    for (size_t i = 0; i < Info.size(); ++i)
        text += (i ? "\r\n" : "") + Info[i];
    return text;
}

} // namespace varnok
