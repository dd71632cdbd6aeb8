#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

// One directory as the reading commands see it: its readable file names and its subdirectories,
// both sorted by their bytes.
//
// Only regular files (or links to them) whose names do not begin with '.' are listed; directories
// whose names begin with '.' and links to directories are left out, and a pseudo file system
// (proc, sysfs, ...) lists as empty. A directory that cannot be opened lists as empty too, with
// the reason in `error`, so that a read can name what it left out.
struct DirectoryListing {
    std::uint64_t volume = 0;  // the device the directory lies on
    std::int64_t mtimeNs = -1; // its modification time (ns since 1970) before it was listed
    int error = 0;             // errno where it could not be opened or read to its end, else 0
    std::vector<std::string> files;
    std::vector<std::string> subdirectories;
    int descriptor = -1; // the directory, still open, when the caller asked to keep it
};

// How a directory is opened and which of its files are kept.
struct ListingOptions {
    // The open directory it lies in and its name there: opening relative to it spares the system
    // a walk of the whole path. Where it cannot be used (none, or the open fails), the path is.
    int parentDescriptor = -1;
    std::string_view name;
    // Keep the directory open for its subdirectories (the caller closes it).
    bool keepOpen = false;
    // Files whose names it refuses are left out; no filter keeps all.
    bool (*keepFile)(std::string_view name, const void* context) = nullptr;
    const void* context = nullptr;
};

// Lists `path` (ending in '/'). `parentVolume` is the device of the directory it was reached from
// (0 for a start): only where the device changes is the file system type looked at.
DirectoryListing listDirectory(const std::string& path, std::uint64_t parentVolume, const ListingOptions& options = {});

} // namespace bw
