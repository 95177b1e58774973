#pragma once
// Helpers shared by the test programs.
#include <filesystem>
#include <initializer_list>
#include <string>

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
inline std::string BinaryDir() { return VARNOK_BINARY_DIR; }
inline std::string SourceDir() { return VARNOK_SOURCE_DIR; }

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

} // namespace varnok::test
