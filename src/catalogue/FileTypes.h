#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace bw {

// The file types a read can take, in the order it walks them (all "*.ico" files of the tree,
// then all "*.cur" files, ...): the type list of the main window and the --types of the
// command-line tool. The name only picks the files; what a file holds is decided by its content.
// The first six are the types of old, whose marks bwsave.kwb keeps in its lines; the later ones
// keep theirs in bildwiesel.conf.
inline constexpr std::array<std::string_view, 13> kFileTypes
    = {"ico", "cur", "exe", "dll", "icl", "bmp", "ani", "icns", "mun", "cpl", "ocx", "scr", "drv"};
inline constexpr std::size_t kFileTypeCount = kFileTypes.size();
inline constexpr std::size_t kOldFileTypeCount = 6;
inline constexpr std::size_t kLaterFileTypeCount = kFileTypeCount - kOldFileTypeCount;

// "*.ico": the pattern of a type, as the type list shows it and the read walks it.
inline std::string fileTypePattern(std::size_t type) { return "*." + std::string(kFileTypes[type]); }

} // namespace bw
