#include "app/MapSession.h"

#include "app/LevelMaps.h"
#include "app/MainForm.h"
#include "common/StrUtils.h"
#include "level/CryptedINI.h"
#include "tools/Debug.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace varnok {

TFileWatch::TFileWatch(std::string path) : path_(std::move(path)) {
    Read(path_, last_);
}

bool TFileWatch::Read(const std::string& path, Signature& sig) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    sig.dev = st.st_dev;
    sig.ino = st.st_ino;
    sig.size = static_cast<int64_t>(st.st_size);
    sig.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool TFileWatch::Changed() {
    Signature now;
    if (!Read(path_, now) || now == last_) return false;
    last_ = now;
    return true;
}

TMapSession::TMapSession(std::string path) : Path(std::move(path)), Watch(Path) {}

bool TMapSession::Load(TMemIniFileCrypted& levelStore, TMemIniFileCrypted& globalStore, bool first) {
    const TMapLevel map = ReadMapLevel(Path, 1, globalStore, Images, &Checked);
    Warnings = map.Warnings;
    Errors = map.Errors;
    if (!map.Ok()) {
        const std::string name = std::filesystem::path(Path).filename().string();
        Error = Format("The map %s has %zu mistake%s:", name.c_str(), Errors.size(),
                       Errors.size() == 1 ? "" : "s");
        for (size_t i = 0; i < Errors.size() && i < 3; ++i) {
            // Without the folder, which the get-ready screen has no room for.
            std::string e = Errors[i];
            if (e.rfind(Path, 0) == 0) e = name + e.substr(Path.size());
            Error += "\n" + e;
        }
        if (first) {
            levelStore.SetText("[Global]\r\nTileCount=1\r\n");
            globalStore.SetString("Game", "StartLevel", "1");
            const std::string why = "The settings are not saved while a map is played.";
            levelStore.RefuseSaving(why);
            globalStore.RefuseSaving(why);
        }
        return false;
    }
    Error.clear();
    UseMapAsOnlyLevel(map, levelStore, globalStore);
    return true;
}

void TMapSession::Report(const char* prefix) const {
    for (const std::string& w : Warnings) {
        std::fprintf(stderr, "%s%s\n", prefix, w.c_str());
        AddMessage(prefix + w);
    }
    for (const std::string& e : Errors) {
        std::fprintf(stderr, "%s%s\n", prefix, e.c_str());
        AddMessage(prefix + e);
    }
}

void TMapSession::Reload(TMainForm& form) {
    const auto seen = std::chrono::steady_clock::now();
    Apply(form, ReadMapLevel(Path, 1, form.GlobalStore, Images, &Checked), seen);
}

void TMapSession::StartCheck(TMainForm& form) {
    // The settings and sizes are copied here, on the game's thread.
    levelc::Settings settings = SettingsFromStore(form.GlobalStore);
    levelc::SpriteSizes sizes = SpriteSizesFromImages(Images);
    seen_ = std::chrono::steady_clock::now();
    pending_ =
        std::async(std::launch::async, [this, settings = std::move(settings), sizes = std::move(sizes)] {
            return CheckMapLevel(Path, 1, settings, sizes, &Checked);
        });
}

void TMapSession::Poll(TMainForm& form) {
    if (pending_.valid()) {
        if (Watch.Changed()) again_ = true;
        if (pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
        TMapLevel map = pending_.get();
        if (again_) {
            // Saved again while it was being checked: check the newer one.
            again_ = false;
            StartCheck(form);
            return;
        }
        Apply(form, map, seen_);
        return;
    }
    if (Watch.Changed()) StartCheck(form);
}

void TMapSession::Apply(TMainForm& form, const TMapLevel& map, std::chrono::steady_clock::time_point seen) {
    form.RunCommand([&] {
        Warnings = map.Warnings;
        Errors = map.Errors;
        if (!map.Ok()) {
            Report("Map not reloaded: ");
            form.ShowNotice("Map not reloaded: " + (Errors.empty() ? std::string() : Errors.front()), 6000);
            return;
        }
        Error.clear();
        UseMapAsOnlyLevel(map, form.LevelStore, form.GlobalStore);
        Report();
        form.MapError.clear();
        form.ShowNotice("Map reloaded", 2000);
        form.RestartLevelKeepingPlace();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - seen)
                .count();
        AddMessage(Format("Map reloaded in %lld ms: %s", static_cast<long long>(ms), Path.c_str()));
    });
}

} // namespace varnok
