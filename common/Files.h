#pragma once
// Whole-file reading for the game's data files.
#include <string>

namespace varnok {

// The file's bytes; raises EFileError when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);

} // namespace varnok
