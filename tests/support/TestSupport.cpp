#include "tests/support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

namespace {

// The size and modification time of the game, its data and the inputs. What
// every start writes again is left out: the enciphered settings (DAT/*.DAT)
// from the plain ones and the tile lists (GFX/LevelN.dxg) from their bitmaps,
// which count.
std::string RunStamp(const std::vector<std::string>& inputs) {
    namespace fs = std::filesystem;
    std::vector<std::string> data;
    for (const char* folder : {"DAT", "GFX", "SND"}) {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(BinaryDir() + "/" + folder, ec)) {
            const fs::path& p = e.path();
            const bool derived =
                p.extension() == ".DAT" ||
                (p.extension() == ".dxg" && fs::exists(fs::path(p).replace_extension(".bmp")));
            if (e.is_regular_file() && !derived) data.push_back(p.string());
        }
    }
    std::sort(data.begin(), data.end());
    std::vector<std::string> files{BinaryDir() + "/varnok", BinaryDir() + "/DirectX.ini"};
    files.insert(files.end(), data.begin(), data.end());
    files.insert(files.end(), inputs.begin(), inputs.end());
    std::ostringstream stamp;
    for (const std::string& f : files) {
        std::error_code sizeError, timeError;
        const auto size = fs::file_size(f, sizeError);
        const auto time = fs::last_write_time(f, timeError);
        stamp << f << ' ' << (sizeError ? -1 : static_cast<long long>(size)) << ' '
              << (timeError ? 0 : static_cast<long long>(time.time_since_epoch().count())) << '\n';
    }
    return stamp.str();
}

std::string SharedRunFolder(const std::string& name) {
    return BinaryDir() + "/test-runs/" + name;
}

} // namespace

void KeepSharedRun(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files,
                   const std::vector<std::string>& inputs) {
    namespace fs = std::filesystem;
    const std::string shared = SharedRunFolder(name);
    // Made beside its place and renamed into it, so that a reader never sees
    // half a run.
    const std::string staging = shared + ".new-" + std::to_string(getpid());
    fs::remove_all(staging);
    fs::create_directories(staging);
    for (const auto& [path, kept] : files)
        fs::copy_file(path, staging + "/" + kept, fs::copy_options::overwrite_existing);
    WriteFileBytes(staging + "/stamp", RunStamp(inputs));
    fs::remove_all(shared);
    fs::rename(staging, shared);
}

void DropSharedRun(const std::string& name) {
    std::error_code ec;
    std::filesystem::remove_all(SharedRunFolder(name), ec);
}

std::string SharedRun(const std::string& name, const std::vector<std::string>& inputs) {
    const std::string shared = SharedRunFolder(name);
    std::error_code ec;
    if (!std::filesystem::exists(shared + "/stamp", ec) ||
        ReadFileBytes(shared + "/stamp") != RunStamp(inputs))
        return "";
    return shared;
}

} // namespace varnok::test
