// Reads arbitrary bytes as the player's gamepad mapping file
// (gamecontrollerdb.txt), the way the game does at start-up: from a file,
// through the selection of this system's lines and into SDL's controller
// subsystem. Every input must be read without a crash or a leak; only lines
// naming this system are handed on, at most the bound of them, and the
// dropped ones are counted from the right line; SDL never reports more
// mappings added than it was handed.
#include "platform/GameController.h"
#include "tests/fuzz/FuzzCheck.h"

#include <SDL_platform.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

using namespace varnok;
using namespace varnok::platform;

namespace {

using fuzz::Check;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A small bound, so that short inputs reach the dropping of lines too.
constexpr int kFuzzMaxMappings = 4;

void CheckSelection(const std::string& text) {
    const std::string platform = SDL_GetPlatform();
    const std::string field = "platform:" + Lower(platform) + ",";
    const MappingSelection s = SelectUserMappings(text, platform, kFuzzMaxMappings);
    Check(s.Kept >= 0 && s.Kept <= kFuzzMaxMappings, "at most the bound of mappings kept");
    Check((s.Dropped > 0) == (s.FirstDroppedLine > 0), "a first dropped line exactly when lines are dropped");
    // Every kept line names this system and is no comment.
    int kept = 0;
    for (size_t start = 0; start < s.Text.size(); ++kept) {
        const size_t end = s.Text.find('\n', start);
        Check(end != std::string::npos, "every kept line ends with a line end");
        const std::string line = s.Text.substr(start, end - start);
        Check(!line.empty() && line[0] != '#', "no empty or comment line kept");
        Check(Lower(line).find(field) != std::string::npos, "a kept line names this system");
        start = end + 1;
    }
    Check(kept == s.Kept, "as many lines as counted");
    // The lines of this system in the input, counted independently.
    int lineNo = 0, matching = 0, firstDropped = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || Lower(line).find(field) == std::string::npos) continue;
        if (++matching == kFuzzMaxMappings + 1) firstDropped = lineNo;
    }
    Check(s.Kept + s.Dropped == matching, "every line of this system kept or dropped");
    Check(s.FirstDroppedLine == firstDropped, "the first dropped line is the one past the bound");
}

// The controller subsystem as the game starts it, with SDL's own mappings.
// Starting it costs milliseconds (SDL adds its built-in mappings one by one),
// so it is started again only every so many inputs, which bounds what the
// inputs' mappings add to SDL's list.
constexpr int kInputsPerStart = 256;

void ReadAsTheGameDoes(const std::string& text) {
    static const std::string file = fuzz::ScratchFolder() + "gamecontrollerdb-" + std::to_string(getpid()) + ".txt";
    static std::unique_ptr<GameControllers> controllers;
    static int inputs = 0;
    if (!controllers || ++inputs % kInputsPerStart == 0) {
        controllers.reset();
        controllers = std::make_unique<GameControllers>("");
    }
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    std::vector<std::string> problems;
    const int added = AddUserMappingFile(file, problems);
    const MappingSelection s = SelectUserMappings(text, SDL_GetPlatform(), kMaxUserMappings);
    Check(added <= s.Kept, "no more mappings added than handed on");
    Check(controllers->OpenCount() == 0, "no controller opened here");
    std::remove(file.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Devices are looked for without udev's help: no device monitor thread.
    setenv("SDL_JOYSTICK_DISABLE_UDEV", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] {
        CheckSelection(text);
        ReadAsTheGameDoes(text);
    });
    return 0;
}
