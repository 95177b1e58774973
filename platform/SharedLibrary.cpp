#include "platform/SharedLibrary.h"

#include <SDL_loadso.h>

namespace varnok::platform {

bool SharedLibrary::Load(const std::string& name) {
    Unload();
    handle_ = SDL_LoadObject(name.c_str());
    return handle_ != nullptr;
}

void SharedLibrary::Unload() {
    if (handle_) SDL_UnloadObject(handle_);
    handle_ = nullptr;
}

void* SharedLibrary::Function(const std::string& name) const {
    return handle_ ? SDL_LoadFunction(handle_, name.c_str()) : nullptr;
}

} // namespace varnok::platform
