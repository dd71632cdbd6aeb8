#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace bw {

// The program's version, shown in the main window title.
inline const QString kVersionText = QStringLiteral("1.110");
// Line break inside multi-line message texts.
inline const QString kLineBreak = QStringLiteral("\r\n");

// Directories of the program: where the binary lives, and its data and sound folders beside it
// (or the program directory itself when a folder is missing). Each ends in '/'.
struct ProgramPaths {
    std::string programDirectory;
    // The folder of the program's own data (daten/, musik/, beispiele/): beside the binary in the
    // build tree, ../share/bildwiesel/ when installed. A first start reads it.
    std::string shareDirectory;
    std::string dataDirectory;
    std::string musicDirectory;
};
const ProgramPaths& programPaths();
// Sets the paths from the program file (default: the running executable).
void InitPaths(const std::filesystem::path& programFile = {});

// Monotonic milliseconds, the clock of every progress refresh.
std::int64_t tickCount();
// Replaces the clock (nullptr: the real one again), so tests can decide when a refresh is due.
void setTickSource(std::int64_t (*source)());

// Top-left position that centres a window of `window` size over an area at `origin` of `area`
// size, moved by (dx, dy). Integer division truncates toward zero; nothing is clamped.
QPoint centeredPosition(QPoint origin, QSize area, QSize window, int dx, int dy);

// Lets every waiting event run, then returns without waiting for new ones.
void PumpMessages();

// hh:mm:ss of a number of seconds, rounded half to even. Hours go on past 23.
QString ElapsedText(double seconds);

// Waits `duration` seconds; with noPump the program does not react meanwhile.
void WaitSeconds(bool noPump, float duration);

// The absolute value rounded half up to n decimals, with a decimal comma: (2.6, 0) gives "3,0",
// (0.5, 0) gives "1".
QString RoundToText(double value, int n);

// The text repeated count times; empty for count <= 0.
QString RepeatText(int count, const QString& text);

// Ends a path text with '/' unless it already does.
std::string withTrailingSlash(std::string path);

// A path or file name (bytes on Linux) as the screen shows it: as bildwiesel-cli writes it, with
// control characters and bytes that are not UTF-8 as C escapes (see quotedName). Not for Qt's
// file classes, which take QFile::decodeName.
QString pathText(std::string_view bytes);

// ASCII letters only; every other byte stays as it is (names are not always UTF-8).
inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace bw
