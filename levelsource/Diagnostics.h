#pragma once
// Places in source files and the messages levelc reports about them.
#include "common/Exception.h"

#include <string>
#include <utility>
#include <vector>

namespace varnok::levelc {

// A place in a source file; line and column count from 1, 0 when unknown.
// Places in a Tiled map have no useful line: they are named as Tiled shows
// them instead (where: 'layer "Playfield" cell 12, 4').
struct SourcePos {
    SourcePos() = default;
    SourcePos(std::string f, int l = 0, int c = 0) : file(std::move(f)), line(l), col(c) {}

    std::string file;
    int line = 0;
    int col = 0;
    std::string where;

    // "file:line:col" with the unknown parts left out, or "file: where".
    std::string Text() const;
    SourcePos At(int column) const {
        SourcePos p{file, line, column};
        p.where = where;
        return p;
    }
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
