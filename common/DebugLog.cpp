#include "common/DebugLog.h"

#include "common/StrUtils.h"

#include <cstdio>

namespace varnok {

void TDebugLog::AddMessage(const std::string& text) {
    lines_.push_back(text);
    text_ += "\r\n";
    text_ += text;
    if (echo_) {
        std::string line = Latin1ToUtf8(text);
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
    if (alwaysHide_) return;
    visible_ = true;
    focusMain_ = true;
}

void TDebugLog::Clear() {
    lines_.clear();
    text_.clear();
    ++clears_;
    focusMain_ = true;
}

TDebugLog& DebugLog() {
    static TDebugLog log;
    return log;
}

} // namespace varnok
