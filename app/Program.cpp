// Program entry: options, then the game.
#include "app/Harness.h"
#include "common/Paths.h"
#include "tools/VersionInfo.h"

#include <cstdio>
#include <exception>

namespace {
int Run(int argc, char** argv) {
    std::string error;
    const varnok::THarnessOptions options = varnok::ParseHarnessOptions(argc, argv, error);
    if (!error.empty()) {
        std::fprintf(stderr, "varnok: %s\n%s", error.c_str(), varnok::HarnessUsage().c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(varnok::HarnessUsage().c_str(), stdout);
        return 0;
    }
    if (options.Version) {
        // The version table stored in the executable itself.
        varnok::TGetVersionInfoFromFile version;
        version.SetFileName(varnok::ExecutablePath());
        std::printf("VARNOK (freeware version) %s\n", version.GetValue("FileVersion").c_str());
        return 0;
    }
    return varnok::RunGame(options);
}
} // namespace

int main(int argc, char** argv) {
    // The game reports its own errors; whatever still gets here ends the
    // program with a word, never with an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnok: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "varnok: the program ended with an error of unknown kind\n");
    }
    return 1;
}
