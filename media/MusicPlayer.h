#pragma once
// The music player the shell drives: open a module file, resume, halt, mute
// and unmute. The module library behind it is the player's own business.
#include <string>

namespace varnok {

class TMusicPlayer {
public:
    virtual ~TMusicPlayer() = default;
    virtual void OpenModule(const std::string& file) = 0;
    virtual void Resume() = 0;
    virtual void Halt() = 0;
    virtual void Mute() = 0;
    virtual void Unmute() = 0;
};

} // namespace varnok
