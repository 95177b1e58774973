// Program entry: options, then the game.
#include "app/Harness.h"

#include <cstdio>

int main(int argc, char** argv) {
    std::string error;
    const varnok::THarnessOptions options = varnok::ParseHarnessOptions(argc, argv, error);
    if (!error.empty()) {
        std::fprintf(stderr, "varnok: %s\n%s", error.c_str(), varnok::HarnessUsage().c_str());
        return 2;
    }
    return varnok::RunGame(options);
}
