#pragma once
// A Tiled map played as the game's only level: read and checked at start-up,
// watched while the game runs, and read again when it is saved anew (Tiled
// saves by writing a new file in the old one's place).
#include "app/LevelMaps.h"
#include "level/ImageList.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <sys/types.h>
#include <vector>

namespace varnok {

class TMainForm;
class TMemIniFileCrypted;

// How often a watched map is looked at, in milliseconds of real time.
inline constexpr uint32_t kMapPollMs = 100;

// Tells when a file was written anew: replaced by another file, or changed
// in place (its time or size).
class TFileWatch {
  public:
    explicit TFileWatch(std::string path);
    // True once for every change seen since the last call. A file that is
    // missing for a moment (being replaced) is no change.
    bool Changed();

  private:
    struct Signature {
        dev_t dev = 0;
        ino_t ino = 0;
        int64_t size = -1;
        int64_t mtimeNs = 0;
        bool operator==(const Signature&) const = default;
    };
    static bool Read(const std::string& path, Signature& sig);
    std::string path_;
    Signature last_;
};

class TMapSession {
  public:
    explicit TMapSession(std::string path);

    // Reads and checks the map; when it is fine the stores get it as their
    // only level. A first load with mistakes leaves stores with one level
    // that cannot start (Error says why); a later one leaves them as they are.
    bool Load(TMemIniFileCrypted& levelStore, TMemIniFileCrypted& globalStore, bool first);
    // The warnings and mistakes of the last load, in the debug log and on
    // standard error.
    void Report(const char* prefix = "") const;
    // After the file changed: loads it again and starts its level over, or
    // reports why the running level stays.
    void Reload(TMainForm& form);
    // Called every kMapPollMs from the message loop: a changed file is read
    // and checked on a thread of its own while the game plays on (a large
    // level's walk-through takes a while), and its level started once the
    // check is done. A file saved again meanwhile is read once more.
    void Poll(TMainForm& form);
    bool Checking() const { return pending_.valid(); }

    std::string Path;
    TPictureCollection Images;
    TFileWatch Watch;
    uint32_t LastPoll = 0;
    std::string Error;
    std::vector<std::string> Errors;
    std::vector<std::string> Warnings;
    TCheckCache Checked;

  private:
    void Apply(TMainForm& form, const TMapLevel& map, std::chrono::steady_clock::time_point seen);
    void StartCheck(TMainForm& form);
    std::future<TMapLevel> pending_;
    std::chrono::steady_clock::time_point seen_;
    bool again_ = false;
};

} // namespace varnok
