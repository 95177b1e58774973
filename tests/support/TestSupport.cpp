#include "tests/support/TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace varnok::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("varnok-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void KeepForInspection(const std::string& path, const std::string& name) {
    const char* out = std::getenv("VARNOK_TEST_OUTPUT");
    if (!out || !*out) return;
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    std::filesystem::copy_file(path, std::filesystem::path(out) / name,
                               std::filesystem::copy_options::overwrite_existing, ec);
}

RunResult RunGameBinary(const TempDir& dir, const std::string& prefix, const std::string& args) {
    const std::string err = dir / "stderr.txt";
    const std::string cmd = prefix + BinaryDir() + "/varnok " + args + " 2>" + err + " >/dev/null";
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (std::filesystem::exists(err)) r.errors = ReadFileBytes(err);
    return r;
}

std::string Field(const std::string& json, const std::string& name) {
    const size_t at = json.find("\"" + name + "\": ");
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 4;
    return json.substr(start, json.find_first_of(",\n", start) - start);
}

std::string WithoutFields(const std::string& json, std::initializer_list<const char*> names) {
    std::istringstream lines(json);
    std::string line, kept;
    while (std::getline(lines, line)) {
        bool named = false;
        for (const char* name : names)
            named = named || line.find("\"" + std::string(name) + "\"") != std::string::npos;
        if (!named) kept += line + "\n";
    }
    return kept;
}

} // namespace varnok::test
