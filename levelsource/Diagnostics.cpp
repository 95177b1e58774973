#include "levelsource/Diagnostics.h"

namespace varnok::levelc {

namespace {
// Beyond this many errors the rest are mostly consequences of the first ones.
constexpr size_t kMaxErrors = 50;
} // namespace

std::string SourcePos::Text() const {
    std::string text = file;
    if (!where.empty()) return text + ": " + where;
    if (line > 0) {
        text += ":" + std::to_string(line);
        if (col > 0) text += ":" + std::to_string(col);
    }
    return text;
}

void Diagnostics::Error(const SourcePos& pos, const std::string& text) {
    if (errors_.size() == kMaxErrors) errors_.push_back("levelc: too many errors, the rest are not shown");
    if (errors_.size() > kMaxErrors) return;
    errors_.push_back(pos.Text() + ": error: " + text);
}

void Diagnostics::Warning(const SourcePos& pos, const std::string& text) {
    warnings_.push_back(pos.Text() + ": warning: " + text);
}

void Diagnostics::ThrowIfErrors() const {
    if (errors_.empty()) return;
    std::string message;
    for (const std::string& e : errors_) {
        if (!message.empty()) message += "\n";
        message += e;
    }
    throw ELevelSourceError(message);
}

} // namespace varnok::levelc
