#pragma once
// Places in source files and the messages levelc reports about them.
#include "common/Exception.h"

#include <string>
#include <vector>

namespace varnok::levelc {

// A place in a source file; line and column count from 1, 0 when unknown.
struct SourcePos {
    std::string file;
    int line = 0;
    int col = 0;

    // "file:line:col" with the unknown parts left out.
    std::string Text() const;
    SourcePos At(int column) const { return SourcePos{file, line, column}; }
};

// Bad level or settings sources. The message lists every error found.
class ELevelSourceError : public Exception {
  public:
    VARNOK_ERROR_CONSTRUCTOR(ELevelSourceError, Exception)
};

// Collects errors and warnings, each as "file:line:col: error: text".
class Diagnostics {
  public:
    void Error(const SourcePos& pos, const std::string& text);
    void Warning(const SourcePos& pos, const std::string& text);

    size_t ErrorCount() const { return errors_.size(); }
    const std::vector<std::string>& Errors() const { return errors_; }
    const std::vector<std::string>& Warnings() const { return warnings_; }

    // Raises ELevelSourceError with all errors, one per line, when there are any.
    void ThrowIfErrors() const;

  private:
    std::vector<std::string> errors_;
    std::vector<std::string> warnings_;
};

} // namespace varnok::levelc
