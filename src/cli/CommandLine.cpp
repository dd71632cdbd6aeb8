#include "CommandLine.h"

#include "CliSupport.h"

#include "support/Funky.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace cli {
namespace {

void print(std::FILE* stream, const QString& text) { std::fputs(text.toUtf8().constData(), stream); }

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

QString usageLine(const Command& c)
{
    return QStringLiteral("Aufruf: bildwiesel-cli ") + text(c.name) + QLatin1Char(' ') + text(c.synopsis) + QLatin1Char('\n');
}

QList<QCommandLineOption> optionsOf(const Command& c)
{
    QList<QCommandLineOption> options = c.options ? c.options() : QList<QCommandLineOption>();
    options.append(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("zeigt diese Hilfe")));
    return options;
}

// Option lines of a help text: "-s, --size GRÖSSE" and the description beside it; a description
// of several lines keeps them all in its column.
QString optionLines(const QList<QCommandLineOption>& options)
{
    QStringList left;
    for (const QCommandLineOption& o : options) {
        QStringList names;
        for (const QString& n : o.names())
            names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
        left << names.join(QStringLiteral(", ")) + (o.valueName().isEmpty() ? QString() : QLatin1Char(' ') + o.valueName());
    }
    qsizetype width = 0;
    for (const QString& l : left)
        width = std::max(width, l.size());
    QString lines;
    for (qsizetype i = 0; i < options.size(); ++i)
        lines += QStringLiteral("  ") + left[i].leftJustified(width + 2)
            + options[i].description().replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(width + 4, QLatin1Char(' ')))
            + QLatin1Char('\n');
    return lines;
}

QString commandHelp(const Command& c)
{
    QString help = usageLine(c) + QLatin1Char('\n') + text(c.summary) + QLatin1Char('\n');
    if (c.details && *c.details)
        help += text(c.details) + QLatin1Char('\n');
    help += QStringLiteral("\nOptionen:\n") + optionLines(optionsOf(c));
    help += QStringLiteral("\nRückgabewerte: 0 erledigt, 1 fehlgeschlagen, 2 falscher Aufruf.\n");
    return help;
}

QString toolHelp(std::span<const Command* const> commands)
{
    QString help = QStringLiteral("Aufruf: bildwiesel-cli BEFEHL [OPTIONEN] ARGUMENTE\n\n"
                                  "Icons aus Windows-Programmen, Bibliotheken, Icon- und Cursor-Dateien lesen,\n"
                                  "schreiben und prüfen, mit denselben Programmteilen wie Bildwiesel.\n\nBefehle:\n");
    qsizetype width = 0;
    for (const Command* c : commands)
        width = std::max(width, text(c->name).size());
    for (const Command* c : commands)
        help += QStringLiteral("  ") + text(c->name).leftJustified(width + 2) + text(c->summary) + QLatin1Char('\n');
    help += QStringLiteral("\nOptionen:\n"
                           "  -h, --help   zeigt diese Hilfe; hinter einem Befehl die Hilfe des Befehls\n"
                           "  --version    zeigt die Version\n\n"
                           "Optionen eines Befehls dürfen überall stehen, auch vor dem Befehl;\n"
                           "nach -- ist alles ein Argument. Mehr: bildwiesel-cli BEFEHL --help, man bildwiesel-cli.\n"
                           "Rückgabewerte: 0 erledigt, 1 fehlgeschlagen, 2 falscher Aufruf.\n");
    return help;
}

// The short usage of the whole tool, on stderr, for a call that names no command it knows.
int toolUsage(std::span<const Command* const> commands, const QString& message)
{
    QString text = message.isEmpty() ? QString() : QStringLiteral("bildwiesel-cli: ") + message + QLatin1Char('\n');
    text += QStringLiteral("Aufruf:\n");
    for (const Command* c : commands)
        text += QStringLiteral("  bildwiesel-cli ") + QString::fromUtf8(c->name) + QLatin1Char(' ') + QString::fromUtf8(c->synopsis)
            + QLatin1Char('\n');
    text += QStringLiteral("Mehr: bildwiesel-cli --help\n");
    print(stderr, text);
    return kExitUsage;
}

// QCommandLineParser words its errors in English; the tool speaks German.
QString parseError(const QCommandLineParser& parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString& name = unknown.first();
        return QStringLiteral("unbekannte Option: ") + (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }
    const QString error = parser.errorText();
    const QRegularExpressionMatch quoted = QRegularExpression(QStringLiteral("'([^']*)'")).match(error);
    const QString name = quoted.hasMatch() ? quoted.captured(1) : QString();
    if (error.startsWith(QLatin1String("Missing value")))
        return QStringLiteral("der Option ") + name + QStringLiteral(" fehlt ihr Wert");
    if (error.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("die Option ") + name + QStringLiteral(" nimmt keinen Wert");
    return QStringLiteral("falscher Aufruf");
}

int commandUsageError(const Command& command, const QString& message)
{
    print(stderr,
          QStringLiteral("bildwiesel-cli ") + text(command.name) + QStringLiteral(": ") + message + QLatin1Char('\n') + usageLine(command)
              + QStringLiteral("Mehr: bildwiesel-cli ") + text(command.name) + QStringLiteral(" --help\n"));
    return kExitUsage;
}

} // namespace

Invocation::Invocation(const Command& command, const QCommandLineParser& parser) : m_command(command), m_parser(parser)
{
    // Arguments arrive as Latin-1 text (see runCommandLine), which gives back the exact bytes.
    for (const QString& a : parser.positionalArguments())
        m_arguments.push_back(a.toLatin1().toStdString());
}

std::string Invocation::value(const QString& option) const { return m_parser.value(option).toLatin1().toStdString(); }

int Invocation::usageError(const QString& message) const { return commandUsageError(m_command, message); }

int runCommandLine(int argc, char** argv, std::span<const Command* const> commands)
{
    // Every byte maps to one Latin-1 character and back, so file names that are not UTF-8 pass
    // through the parser unchanged; option names and values of the tool are ASCII.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLatin1(argv[i]);
    if (args.isEmpty())
        return toolUsage(commands, {});

    const auto find = [&](const QString& name) -> const Command* {
        const auto it = std::find_if(commands.begin(), commands.end(), [&](const Command* c) { return name == QLatin1String(c->name); });
        return it == commands.end() ? nullptr : *it;
    };
    const QString first = args.first();
    if (first == QStringLiteral("--help") || first == QStringLiteral("-h") || first == QStringLiteral("help")) {
        if (args.size() > 1) {
            const Command* c = find(args[1]);
            if (!c)
                return toolUsage(commands, QStringLiteral("unbekannter Befehl: ") + args[1]);
            print(stdout, commandHelp(*c));
            return kExitOk;
        }
        print(stdout, toolHelp(commands));
        return kExitOk;
    }
    if (first == QStringLiteral("--version")) {
        print(stdout, QStringLiteral("bildwiesel-cli ") + bw::kVersionText + QLatin1Char('\n'));
        return kExitOk;
    }
    // The command is the first word that is neither an option nor an option's value, so the
    // command's options may stand before it too ("-s 64 thumbnail ...").
    qsizetype at = 0;
    while (at < args.size() && args[at] != QStringLiteral("--") && args[at].startsWith(QLatin1Char('-')) && args[at].size() > 1) {
        const bool valueFollows = !args[at].contains(QLatin1Char('=')) && at + 1 < args.size() && !args[at + 1].startsWith(QLatin1Char('-'))
            && !find(args[at + 1]);
        at += valueFollows ? 2 : 1;
    }
    const Command* command = at < args.size() ? find(args[at]) : nullptr;
    if (!command)
        return toolUsage(commands,
                         first.startsWith(QLatin1Char('-')) ? QStringLiteral("unbekannte Option: ") + first
                                                            : QStringLiteral("unbekannter Befehl: ") + first);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOptions(optionsOf(*command));
    QStringList commandArgs = args;
    commandArgs.removeAt(at);
    commandArgs.prepend(QStringLiteral("bildwiesel-cli ") + QString::fromUtf8(command->name)); // the parser skips it
    if (!parser.parse(commandArgs))
        return commandUsageError(*command, parseError(parser));
    if (parser.isSet(QStringLiteral("help"))) {
        print(stdout, commandHelp(*command));
        return kExitOk;
    }
    const Invocation parsed(*command, parser);
    const qsizetype n = parsed.argumentCount();
    if (n < command->minArguments || (command->maxArguments >= 0 && n > command->maxArguments))
        return parsed.usageError(n < command->minArguments ? QStringLiteral("zu wenige Argumente") : QStringLiteral("zu viele Argumente"));
    // An empty argument names nothing; most likely a script's variable that was never set.
    for (qsizetype i = 0; i < n; ++i)
        if (parsed.argument(i).empty())
            return parsed.usageError(QStringLiteral("leeres Argument an Stelle %1").arg(i + 1));
    const int status = command->run(parsed);
    // As find does: a tree read in part is said on stderr as it happens, and fails at the end.
    return status == kExitOk && directoriesLeftOut() ? kExitFailure : status;
}

} // namespace cli
