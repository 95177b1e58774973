#pragma once
// File paths of the game. Data paths are written with "\" separators
// ("DAT\LEVEL.INI") relative to the program folder; on this system each
// component is matched without regard to letter case, so "GFX\Level1.dxg" and
// "gfx/LEVEL1.DXG" name the same file.
#include <string>
#include <string_view>

namespace varnok {

// The folder that holds the game's data, with a trailing "/". Defaults to the
// executable's folder; the headless harness may point it elsewhere.
const std::string& ProgramFolder();
void SetProgramFolder(const std::string& folder);
// The folder of the running executable, with a trailing "/".
std::string ExecutableFolder();
// The running executable's own path; empty when the system cannot tell.
std::string ExecutablePath();

// Joins folder and a game-relative path ("\" or "/" separators) and resolves
// each existing component case-insensitively. Components that do not exist
// are kept as written, so the result also serves to create new files.
std::string ResolvePath(std::string_view folder, std::string_view relative);
// ResolvePath(ProgramFolder(), relative).
std::string DataPath(std::string_view relative);

bool FileExists(const std::string& path);

} // namespace varnok
