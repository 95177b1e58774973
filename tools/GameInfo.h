#pragma once
// The system report of the Info menu's "DirectX" dialog: operating system,
// media library, memory, swap and processor vendor, gathered once when the
// dialog is created at start-up. A source that cannot be read leaves its
// text empty (and its figures 0); nothing is ever reported as an error.
#include <cstdint>
#include <string>
#include <vector>

namespace varnok {

// Where the figures come from; tests point these at files of their own.
struct TSystemSources {
    std::vector<std::string> OsRelease{"/etc/os-release", "/usr/lib/os-release"};
    std::string KernelRelease = "/proc/sys/kernel/osrelease";
    std::string MemInfo = "/proc/meminfo";
    std::string CpuInfo = "/proc/cpuinfo";
};

class TGameInfo {
public:
    // mediaVersion is the version text of the media library the game runs
    // on (shown on the report's "DirectX:" line).
    TGameInfo(const TSystemSources& sources, std::string mediaVersion);

    // The distribution's name ("Debian GNU/Linux"), from os-release NAME.
    std::string OSPlatform;
    // The distribution's version and the kernel release: "12 (6.1.0-18-amd64)".
    std::string OSVersion;
    std::string DirectXvs;
    // The processor's vendor id ("GenuineIntel", "AuthenticAMD").
    std::string CPUvendor;
    // Memory figures in KB.
    uint64_t dwTotalPhys = 0, dwAvailPhys = 0;
    uint64_t dwTotalPageFile = 0, dwAvailPageFile = 0;
    uint64_t dwTotalVirtual = 0, dwAvailVirtual = 0;
};

// The report's twelve lines: label lines and two-space indented values,
// megabytes as KB / 1024 truncated.
std::vector<std::string> SystemReport(const TGameInfo& info);

// The dialog: its report is filled once, when it is created.
class TDirectXForm {
public:
    static constexpr const char* Caption = "DirectX Info";
    explicit TDirectXForm(const TGameInfo& info) : Info(SystemReport(info)) {}
    // The read-only text box's lines.
    const std::vector<std::string> Info;
    // The text box's text: lines separated by CR LF.
    std::string Text() const;

    void Show() { visible_ = true; }
    void OkBtnClick() { visible_ = false; }
    bool Visible() const { return visible_; }

private:
    bool visible_ = false;
};

} // namespace varnok
