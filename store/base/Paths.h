#pragma once
// File names and the user's folders as the freedesktop conventions place
// them: one place for the rules every part of the program follows.

#include <string>

namespace quillmar {

// The folder part of path: "." for a bare file name, "/" for a file in the root.
std::string folderOf(const std::string& path);

// $HOME, or "." when it is not set or empty.
std::string homeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, otherwise ~/.config.
std::string xdgConfigHome();
// $XDG_STATE_HOME when it is an absolute path, otherwise ~/.local/state.
std::string xdgStateHome();
// $XDG_DATA_HOME when it is an absolute path, otherwise ~/.local/share.
std::string xdgDataHome();

} // namespace quillmar
