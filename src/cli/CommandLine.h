#pragma once

// The command line of bildwiesel-cli: one table entry per command, each with its arguments,
// its options and its help text. The parser (QCommandLineParser) takes a command's options
// anywhere on the line, answers --help for the tool and for every command and --version, and words
// every complaint in German on stderr. Exit codes: 0 done, 1 failed, 2 wrong usage.
//
// A new command is a file with a `const Command` and its run function, one declaration in
// Commands.h and one line in the table in main.cpp.

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <span>
#include <string>

namespace cli {

struct Command;

// A command's view of its command line: the arguments as the bytes they were (file names need
// not be UTF-8), and its options.
class Invocation {
public:
    Invocation(const Command& command, const QCommandLineParser& parser);

    qsizetype argumentCount() const { return m_arguments.size(); }
    // Argument i (from 0, after the command name) as bytes.
    const std::string& argument(qsizetype i) const { return m_arguments.at(i); }
    const char* argumentText(qsizetype i) const { return m_arguments.at(i).c_str(); }
    bool isSet(const QString& option) const { return m_parser.isSet(option); }
    // The option's value as bytes.
    std::string value(const QString& option) const;

    // "bildwiesel-cli NAME: message", the command's usage line and where to read more, on
    // stderr; returns kExitUsage. For arguments the parser cannot judge (numbers, type lists).
    int usageError(const QString& message) const;

private:
    const Command& m_command;
    const QCommandLineParser& m_parser;
    std::vector<std::string> m_arguments;
};

struct Command {
    const char* name;
    const char* synopsis; // what follows the name in the usage line, e.g. "[-s GRÖSSE] DATEI AUSGABE.png"
    const char* summary;  // one line for the command list
    const char* details;  // further text for --help (may be empty)
    int minArguments;
    int maxArguments;                       // -1: no limit
    QList<QCommandLineOption> (*options)(); // nullptr: none besides --help
    int (*run)(const Invocation&);
};

// Runs the command line against the table.
int runCommandLine(int argc, char** argv, std::span<const Command* const> commands);

} // namespace cli
