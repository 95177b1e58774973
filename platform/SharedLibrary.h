#pragma once
// A library loaded at run time by name, with its functions looked up by name.
#include <string>

namespace varnok::platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { Unload(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Load(const std::string& name);
    void Unload();
    bool Loaded() const { return handle_ != nullptr; }
    // The address of a function, or nullptr.
    void* Function(const std::string& name) const;

private:
    void* handle_ = nullptr;
};

} // namespace varnok::platform
