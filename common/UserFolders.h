#pragma once
// The user's own folders, as the XDG base-directory rules name them. Each
// result ends with "/"; none is created here.
#include <string>

namespace varnok {

// $XDG_DATA_HOME/varnok/, or ~/.local/share/varnok/.
std::string UserDataFolder();
// $XDG_CONFIG_HOME/varnok/, or ~/.config/varnok/.
std::string UserConfigFolder();
// The pictures folder of user-dirs.dirs (XDG_PICTURES_DIR), or ~/Pictures/.
std::string UserPicturesFolder();

// True when this process may create and replace files in folder. For root,
// which may write anything, a folder without any write permission bit counts
// as not writable: whoever made it read-only means it.
bool IsWritableFolder(const std::string& folder);

// Creates folder and its parents. Returns false when that fails.
bool MakeFolders(const std::string& folder);

} // namespace varnok
