// bildwiesel-cli export: "Alle Kopieren" from a script.

#include "CliSupport.h"
#include "Commands.h"

#include "app/AppState.h"
#include "fileops/Export.h"
#include "support/Dialogs.h"
#include "support/Funky.h"

#include <cstdio>
#include <string>
#include <string_view>

#include <unistd.h>

namespace cli {
namespace {

// Report lines go to stderr as they come.
class StderrReport final : public bw::ReportLines {
public:
    void addLine(const QString& line) override
    {
        const QByteArray bytes = line.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
        std::fputc('\n', stderr);
        ++lines;
    }
    int lines = 0;
};

void message(const QString& text)
{
    std::fprintf(stderr, "bildwiesel-cli: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int exportCommand(int argc, char** argv)
{
    // export DIR COPYDIR [--types LIST] [--as ico|bmp], options in any order after the command.
    std::string directory;
    std::string copyDirectory;
    TypeSelection types;
    types.fill(true);
    std::string extension = ".ico";
    int positional = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--types" && i + 1 < argc) {
            const std::optional<TypeSelection> parsed = parseTypes(argv[++i]);
            if (!parsed)
                return usage();
            types = *parsed;
        } else if (arg == "--as" && i + 1 < argc) {
            const std::string_view as = argv[++i];
            if (as != "ico" && as != "bmp")
                return usage();
            extension = "." + std::string(as);
        } else if (arg.starts_with("--")) {
            return usage();
        } else if (positional == 0) {
            directory = arg;
            ++positional;
        } else if (positional == 1) {
            copyDirectory = arg;
            ++positional;
        } else {
            return usage();
        }
    }
    if (positional != 2)
        return usage();

    // The copy directory is checked before anything is read: a typo must not cost a whole read.
    if (!bw::isDirectory(copyDirectory)) {
        message(QStringLiteral("Das Kopierverzeichnis %1 existiert nicht.").arg(bw::pathText(copyDirectory)));
        return kExitFailure;
    }
    if (::access(copyDirectory.c_str(), W_OK | X_OK) != 0) {
        message(QStringLiteral("In das Kopierverzeichnis %1 kann nicht geschrieben werden.").arg(bw::pathText(copyDirectory)));
        return kExitFailure;
    }

    bw::Catalogue catalogue;
    bool endedEarly = false;
    readTree(catalogue, directory, types, &endedEarly);

    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    StderrReport report;
    bw::ExportScratch scratch;
    bw::ExportDirectory target(copyDirectory);
    target.learnExistingNames();
    const std::int32_t count = catalogue.entryCount();
    std::int32_t done = 0;
    std::int32_t written = 0;
    try {
        for (std::int32_t e = 1; e <= count; ++e) {
            const bw::ExportOutcome outcome = bw::exportEntry(catalogue, e, extension, target, report, scratch);
            done = e;
            if (outcome.written) {
                ++written;
                std::printf("%d\t", e);
                writeBytes(stdout, outcome.target);
                std::fputc('\n', stdout);
            }
        }
    } catch (const bw::CommandError& error) {
        std::fflush(stdout);
        message(error.text());
        endedEarly = true;
    }
    std::fflush(stdout);
    const QString status = QString::number(done) + QStringLiteral(" von ") + QString::number(count) + QStringLiteral(" Icons kopiert");
    std::fprintf(stderr, "%s\n", status.toLocal8Bit().constData());
    return endedEarly || report.lines > 0 || written != count ? kExitFailure : kExitOk;
}

} // namespace cli
