// bildwiesel-cli check: "Checken" from a script.

#include "CliSupport.h"
#include "Commands.h"

#include "fileops/SourceFiles.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace cli {

int checkCommand(int argc, char** argv)
{
    // check DIR [--types LIST], the option before or after the directory.
    std::string directory;
    TypeSelection types;
    types.fill(true);
    int positional = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--types" && i + 1 < argc) {
            const std::optional<TypeSelection> parsed = parseTypes(argv[++i]);
            if (!parsed)
                return usage();
            types = *parsed;
        } else if (arg.starts_with("--") || positional++ > 0) {
            return usage();
        } else {
            directory = arg;
        }
    }
    if (positional != 1)
        return usage();

    bw::Catalogue catalogue;
    readTree(catalogue, directory, types);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    bw::IconFileCheck check;
    std::int32_t defects = 0;
    for (std::int32_t e = 1; e <= catalogue.entryCount(); ++e) {
        const bw::IconEntry& entry = catalogue[e];
        if (check.passes(entry.path(), entry.iconIndex))
            continue;
        ++defects;
        std::printf("%d\t", e);
        writeBytes(stdout, entry.path());
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    if (defects == 0)
        std::fputs("FERTIG: Alle Icons OK !\n", stderr);
    else
        std::fprintf(stderr, "FERTIG: %d Icons Defekt !\n", defects);
    return defects == 0 ? kExitOk : kExitFailure;
}

} // namespace cli
