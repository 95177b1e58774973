#pragma once
// Whole-file reading and safe saving for the game's data files.
#include <cstdint>
#include <optional>
#include <string>

namespace varnok {

// The largest data file the game reads whole: 128 MB. The biggest picture an
// image list may hold (16 million pixels) fits with room to spare; anything
// larger is a broken or foreign file, not game data.
inline constexpr uint64_t kMaxDataFileBytes = uint64_t{128} << 20;

// The file's bytes. Only regular files are read: a folder, a pipe or a device
// raises EFileError saying what it is, as does a file larger than maxBytes or
// one that cannot be opened or read. Opening never waits for a pipe's writer.
std::string ReadWholeFile(const std::string& path, uint64_t maxBytes = kMaxDataFileBytes);
// As ReadWholeFile, but no file of that name (or a missing folder on the way)
// gives nothing instead of an error.
std::optional<std::string> ReadWholeFileIfExists(const std::string& path,
                                                 uint64_t maxBytes = kMaxDataFileBytes);

// True when the file exists and may not be written by this process. Root may
// write anything, so for root a file without any write permission bit counts
// as read-only: a user who made a file read-only means it.
bool IsReadOnlyFile(const std::string& path);

// Writes bytes to a fresh temporary file beside fileName, flushes it to disk
// and renames it over fileName, so the old file is either kept whole or
// replaced whole. A read-only target is never replaced. Raises EFileError;
// ESaveError when the system refused (its error number says why; a folder
// that could not be made on the way is reported by the reason it could not).
// On any failure the temporary file is removed and the old file is untouched.
void WriteFileAtomically(const std::string& fileName, const std::string& bytes);
// The reason of a failed save in a player's words: "the disk is full", "the
// disk is read-only", ...
std::string SaveFailureInWords(int systemError);

// True when name (without folder) is a temporary file of WriteFileAtomically:
// "<target>.tmp<pid>-<counter>". pid receives the process that made it.
bool IsSafeSaveTemporary(const std::string& name, long* pid = nullptr);
// Removes the temporary files of WriteFileAtomically in folder that were left
// behind by a process that no longer runs (killed during a save). Returns how
// many were removed; errors are ignored.
int RemoveStaleTemporaries(const std::string& folder);

} // namespace varnok
