#pragma once

#include <string>

namespace bw {

// $XDG_CONFIG_HOME/bildwiesel/ (default ~/.config/bildwiesel/), created when missing.
std::string configDirectory();

// The user's home directory, ending in '/': where the user's own directories fall back to (first
// start, a read or copy directory that no longer exists). The program's folder is no place for
// them: once installed it is a system folder.
std::string homeDirectory();

// True when the path names an existing directory (an empty path does not).
bool isDirectory(const std::string& path);

} // namespace bw
