#pragma once

// What the commands of bildwiesel-cli share: exit codes, argument parsing, messages on stderr,
// and reading a tree into a catalogue exactly as "Einlesen" does.

#include "catalogue/Catalogue.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include <QCommandLineOption>

namespace cli {

class Invocation;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The six file types of a read, in the order the program walks them.
inline constexpr std::array<const char*, 6> kFileTypes = {"ico", "cur", "exe", "dll", "icl", "bmp"};
using TypeSelection = std::array<bool, 6>;

// "ico,exe" as a selection; none for an unknown type or an empty list.
std::optional<TypeSelection> parseTypes(std::string_view list);

// The --types option of the commands that read a tree, and the selection it asks for (every type
// when it is not given); none after a wrong list was reported as wrong usage.
QCommandLineOption typesOption();
std::optional<TypeSelection> selectedTypes(const Invocation& call);

// A non-negative decimal number; none for anything else.
std::optional<int> parseIndex(std::string_view text);

// Output of many lines goes out in large blocks, not a write per line.
void bufferStdout();

// Bytes as they are (file names need not be UTF-8).
void writeBytes(std::FILE* stream, std::string_view bytes);
// "bildwiesel-cli: <what>: <path>" on stderr.
void complain(const char* what, std::string_view path);

// Reads the files of the selected types below `directory` into the catalogue, walking one type
// after the other as the program does. Returns the number of files handed to the indexer; sets
// `endedEarly` when the catalogue became full. `readAhead` lets worker threads read the tree
// ahead, as the program does.
std::int64_t readTree(bw::Catalogue& catalogue, const std::string& directory, const TypeSelection& types,
                      bool* endedEarly = nullptr, bool readAhead = true);

} // namespace cli
