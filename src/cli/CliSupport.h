#pragma once

// What the commands of bildwiesel-cli share: exit codes, argument parsing, messages on stderr,
// and reading a tree into a catalogue exactly as "Einlesen" does.

#include "catalogue/Catalogue.h"
#include "catalogue/Collection.h"
#include "catalogue/FileTypes.h"
#include "catalogue/TreeWalk.h"

#include <QCommandLineOption>
#include <QRgb>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

class Invocation;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The file types of a read, as the program's type list holds them and in its order: which of
// bw::kFileTypes are checked.
using TypeSelection = std::array<bool, bw::kFileTypeCount>;

// "ico,exe" as a selection; none for an unknown type or an empty list.
std::optional<TypeSelection> parseTypes(std::string_view list);

// The --types option of the commands that read a tree, and the selection it asks for (every type
// when it is not given); none after a wrong list was reported as wrong usage.
QCommandLineOption typesOption();
std::optional<TypeSelection> selectedTypes(const Invocation& call);

// A non-negative decimal number; none for anything else.
std::optional<int> parseIndex(std::string_view text);

// Bytes as they are (file names need not be UTF-8).
void writeBytes(std::FILE* stream, std::string_view bytes);
// A name as one line can hold it: its bytes as they are, unless it holds a control character, a
// double quote or a backslash; then in double quotes with C escapes, as git quotes paths.
std::string quotedName(std::string_view name);
// "bildwiesel-cli: <what>: <path>" on stderr, the path quoted as above.
void complain(const char* what, std::string_view path);
// "bildwiesel-cli: " + before + path + after on stderr, the path quoted as above.
void complainAbout(const QString& before, std::string_view path, const QString& after);

// The input of a command that reads a tree must be a directory, and that of a command that reads
// a file a file: anything else is said on stderr and the command fails, so a typo never looks like
// an empty tree or a file without icons.
// A name that may not be read is "Zugriff verweigert".
bool isInputDirectory(std::string_view path);
bool isInputFile(std::string_view path);
// The output of a command that writes a file must not be a directory: said as for an input.
bool isOutputFile(std::string_view path);

// The -z option of the commands that write one record per entry (all of them read a tree), and
// what their help says of it and of a directory of the tree that cannot be read.
QCommandLineOption nulOption();
#define BW_NAMES_HELP                                                                                                                      \
    "Ein Name mit Steuerzeichen, \" oder \\ steht in Anführungszeichen, mit C-Escapes wie bei git (\\n, \\t, \\ooo),\n"                   \
    "so dass jede Zeile ein Eintrag ist. Mit -z endet jeder Eintrag mit einem Nullbyte, Namen stehen unverändert.\n"                      \
    "Ein Verzeichnis, das nicht gelesen werden kann, steht auf der Fehlerausgabe; der Rest wird gelesen, das Ende ist 1.\n"

// The records a command writes on stdout, one per entry, fields separated by tabs. A record is a
// line, and names are quoted as quotedName does, so one line is always one entry; with -z a
// record ends in a NUL byte and names are their bytes, as find -print0 writes them. Only whole
// records go out, each write ending at a record's end and, where records are short enough, no
// longer than a pipe takes in one piece: a reader of a killed tool never sees a torn record. Each
// record is written as it ends, so a script sees every file done; commands that write all records
// at once at the end may keep them in blocks instead.
class Records {
public:
    enum class Flush { EachRecord, AtEnd };
    explicit Records(const Invocation& call, Flush flush = Flush::EachRecord);
    Records(bool nul, Flush flush); // for commands without -z
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    Records& text(std::string_view text);
    Records& number(long long value);
    Records& name(std::string_view bytes);
    Records& tab() { return text("\t"); }
    void end();

private:
    void writeOut();
    bool m_nul;
    Flush m_flush;
    std::string m_buffer;            // records not yet written, the last maybe not yet ended
    std::vector<std::size_t> m_ends; // where each ended record of the buffer ends
    bool m_broken = false;           // stdout took no more (a closed pipe): the rest is dropped
};

// Reads the files of the selected types below `directory` into the catalogue, walking one type
// after the other as the program does. Returns the number of files handed to the indexer; sets
// `endedEarly` when the catalogue became full. `workers` lets worker threads list the tree and
// count the icons, as the program does; without them the read does everything itself.
// `counter`, when given, counts the icons of the files in place of opening them.
std::int64_t readTree(bw::Catalogue& catalogue, const std::string& directory, const TypeSelection& types, bool* endedEarly = nullptr,
                      bool workers = true, const bw::IconCounter& counter = {});
// The same for several roots, each read in its own turn: below one, another is not entered.
// `walked` gets the directories walked, with their times as listed.
std::int64_t readTrees(bw::Catalogue& catalogue, const std::vector<std::string>& roots, const TypeSelection& types,
                       bool* endedEarly = nullptr, bool workers = true, const bw::IconCounter& counter = {},
                       std::vector<bw::CollectionDirectory>* walked = nullptr);
// True once a read of this run met a directory it could not list (each is named on stderr).
bool directoriesLeftOut();

// "#RRGGBB", or the settings file's signed decimal with red in the low byte.
std::optional<QRgb> parseColour(std::string_view text);
// The colour the program would draw behind the icons: the settings file's, else the default.
QRgb settingsColour();
// The --background option's colour, else the settings'; none after a wrong value was reported.
QCommandLineOption backgroundOption();
std::optional<QRgb> selectedBackground(const Invocation& call);

// Opens a collection file into the catalogue; none after the reason was said on stderr.
std::unique_ptr<bw::Collection> openCollection(const std::string& path, bw::Catalogue& catalogue);

} // namespace cli
