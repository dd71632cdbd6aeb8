#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bw {

// One directory as the reading commands see it: its readable file names and its subdirectories,
// both sorted by their bytes.
//
// Only regular files (or links to them) whose names do not begin with '.' are listed; directories
// whose names begin with '.' and links to directories are left out, and a pseudo file system
// (proc, sysfs, ...) lists as empty. A directory that cannot be opened lists as empty too.
struct DirectoryListing {
    std::uint64_t volume = 0; // the device the directory lies on
    std::vector<std::string> files;
    std::vector<std::string> subdirectories;
};

// Lists `path` (ending in '/'). `parentVolume` is the device of the directory it was reached from
// (0 for a start): only where the device changes is the file system type looked at.
DirectoryListing listDirectory(const std::string& path, std::uint64_t parentVolume);

} // namespace bw
