#include "common/DebugLog.h"

#include "common/StrUtils.h"

#include <cstdio>

namespace varnok {

void TDebugLog::AddMessage(const std::string& text) {
    lines_.push_back(text);
    if (echo_) {
        std::string line = Latin1ToUtf8(text);
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

TDebugLog& DebugLog() {
    static TDebugLog log;
    return log;
}

} // namespace varnok
