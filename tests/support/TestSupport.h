#pragma once
// Helpers shared by the test programs.
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace varnok::test {

// A fresh, empty folder that is removed again when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Copies a file the test made to the folder named by VARNOK_TEST_OUTPUT, when
// set, so that a person can look at it (screenshots).
void KeepForInspection(const std::string& path, const std::string& name);

// The build folder with the game binary and its data, and the source tree.
inline std::string BinaryDir() {
    return VARNOK_BINARY_DIR;
}
inline std::string SourceDir() {
    return VARNOK_SOURCE_DIR;
}

struct RunResult {
    int exitCode = -1;
    std::string errors;
};

// Runs the built game binary with args after the shell prefix (environment,
// wrappers); its standard error is kept in dir.
RunResult RunGameBinary(const TempDir& dir, const std::string& prefix, const std::string& args);

// The raw text of the first field NAME in a state snapshot ("" when missing).
std::string Field(const std::string& json, const std::string& name);

// A state snapshot without the lines that hold any of the fields named.
std::string WithoutFields(const std::string& json, std::initializer_list<const char*> names);

// A headless run of the built game that one test makes and another test of
// the same build compares with, so that the run is not made twice: its files
// are kept in BinaryDir()/test-runs/NAME with a stamp of what the run
// depended on (the game, its data and the inputs given, by size and time).
// KeepSharedRun keeps copies of the files (path, name kept under) of a
// finished run; DropSharedRun removes a kept run; SharedRun gives the folder
// when it is there and its stamp still holds, else "".
void KeepSharedRun(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files,
                   const std::vector<std::string>& inputs);
void DropSharedRun(const std::string& name);
std::string SharedRun(const std::string& name, const std::vector<std::string>& inputs);

} // namespace varnok::test
