// The first commands of bildwiesel-cli: icon counts, single icons, and the catalogue of a read.

#include "CliSupport.h"
#include "Commands.h"

#include "catalogue/Catalogue.h"
#include "fileops/BitmapExport.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/SafeFile.h"

#include <QBuffer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

namespace cli {
namespace {

int reportWrite(bw::WriteResult result, const char* target)
{
    switch (result) {
    case bw::WriteResult::Ok: return kExitOk;
    case bw::WriteResult::AlreadyExists: complain("Datei existiert bereits", target); break;
    case bw::WriteResult::CannotCreate: complain("Datei kann nicht erstellt werden", target); break;
    case bw::WriteResult::WriteFailed: complain("Datei kann nicht geschrieben werden", target); break;
    }
    return kExitFailure;
}

} // namespace

int countCommand(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    for (int i = 2; i < argc; ++i) {
        std::printf("%d\t", bw::iconCount(std::filesystem::path(argv[i])));
        writeBytes(stdout, argv[i]);
        std::fputc('\n', stdout);
    }
    return kExitOk;
}

int writeCommand(int argc, char** argv)
{
    if (argc != 5)
        return usage();
    const std::string_view command = argv[1];
    const std::optional<int> index = parseIndex(argv[3]);
    if (!index)
        return usage();
    const QImage icon = bw::extractIcon(std::filesystem::path(argv[2]), *index);
    if (icon.isNull()) {
        std::fprintf(stderr, "bildwiesel-cli: kein Icon mit Index %d in: ", *index);
        writeBytes(stderr, argv[2]);
        std::fputc('\n', stderr);
        return kExitFailure;
    }
    const std::filesystem::path target(argv[4]);
    if (command == "extract") {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        // Format_ARGB32 is stored with straight alpha, as PNG wants it.
        if (!icon.save(&buffer, "PNG"))
            return reportWrite(bw::WriteResult::WriteFailed, argv[4]);
        return reportWrite(bw::writeNewFile(target, png), argv[4]);
    }
    if (command == "write-ico") {
        switch (bw::writeIconFile(target, icon)) {
        case bw::IconWriteResult::Ok: return kExitOk;
        case bw::IconWriteResult::InvalidIcon: complain("Ungültiges Symbol", argv[2]); return kExitFailure;
        case bw::IconWriteResult::CannotCreate: return reportWrite(bw::WriteResult::CannotCreate, argv[4]);
        case bw::IconWriteResult::WriteFailed: return reportWrite(bw::WriteResult::WriteFailed, argv[4]);
        }
    }
    return reportWrite(bw::writeBitmapExport(target, icon), argv[4]);
}

int scanCommand(int argc, char** argv)
{
    TypeSelection checked;
    checked.fill(true);
    if (argc == 5 && std::string_view(argv[3]) == "--types") {
        const std::optional<TypeSelection> parsed = parseTypes(argv[4]);
        if (!parsed)
            return usage();
        checked = *parsed;
    } else if (argc != 3) {
        return usage();
    }

    const auto start = std::chrono::steady_clock::now();
    bw::Catalogue catalogue;
    const std::int64_t files = readTree(catalogue, argv[2], checked);

    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n) {
        const bw::IconEntry& e = catalogue[n];
        std::printf("%d\t%u\t", n, static_cast<unsigned>(e.iconIndex));
        std::fwrite(e.path().data(), 1, e.path().size(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%lld Dateien, %d Einträge, %.3f Sekunden\n", static_cast<long long>(files),
                 catalogue.entryCount(), seconds);
    return kExitOk;
}


} // namespace cli
