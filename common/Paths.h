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
// ReadPath(ProgramFolder(), relative).
std::string DataPath(std::string_view relative);
// WritePath(ProgramFolder(), relative).
std::string WritableDataPath(std::string_view relative);

// The folder that takes what the game writes when the program folder cannot
// be written (the user's data folder); empty when the program folder is used.
// Files found there are read first.
void SetWriteFolder(const std::string& folder);
const std::string& WriteFolder();
// Where to read a game-relative file: the write folder's copy when there is
// one, otherwise folder's.
std::string ReadPath(std::string_view folder, std::string_view relative);
// Where to write a game-relative file: in the write folder when one is set
// (its folders on the way are created), otherwise in folder.
std::string WritePath(std::string_view folder, std::string_view relative);

// Files the game made at start-up but could not save anywhere (nothing may
// be written, or the disk is full): held in memory for the rest of the run
// and read where no file of that game-relative path exists. Names are
// compared without regard to letter case or separator.
void KeepInMemory(std::string_view relative, std::string bytes);
// The bytes kept for relative; nullptr when none are.
const std::string* KeptInMemory(std::string_view relative);
void ForgetKeptFiles();

// The program folder of an installed game: the executable's folder when the
// data lies beside it (a build folder), otherwise the installed data folder
// found from the executable's folder by installedData (a relative path).
std::string FindProgramFolder(const std::string& executableFolder, const std::string& installedData);

bool FileExists(const std::string& path);

} // namespace varnok
