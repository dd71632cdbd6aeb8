// bildwiesel-cli: the icon core for scripts and measurements.

#include "catalogue/Catalogue.h"
#include "catalogue/Indexer.h"
#include "catalogue/TreeScanner.h"
#include "fileops/BitmapExport.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/Funky.h"
#include "support/SafeFile.h"

#include <QBuffer>
#include <QCoreApplication>

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <algorithm>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int usage()
{
    std::fputs("Aufruf:\n"
                "  bildwiesel-cli count DATEI...\n"
                "  bildwiesel-cli extract DATEI INDEX AUSGABE.png\n"
                "  bildwiesel-cli write-ico DATEI INDEX AUSGABE.ico\n"
                "  bildwiesel-cli write-bmp DATEI INDEX AUSGABE.bmp\n"
                "  bildwiesel-cli scan VERZEICHNIS [--types ico,cur,exe,dll,icl,bmp]\n",
                stderr);
    return kExitUsage;
}

std::optional<int> parseIndex(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

// Paths are passed on as bytes: names that are not UTF-8 work as well.
void printPath(const char* path) { std::fwrite(path, 1, std::strlen(path), stdout); }

void complain(const char* what, const char* path)
{
    std::fprintf(stderr, "bildwiesel-cli: %s: ", what);
    std::fwrite(path, 1, std::strlen(path), stderr);
    std::fputc('\n', stderr);
}

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

int count(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    for (int i = 2; i < argc; ++i) {
        std::printf("%d\t", bw::iconCount(std::filesystem::path(argv[i])));
        printPath(argv[i]);
        std::fputc('\n', stdout);
    }
    return kExitOk;
}

int writeCommand(std::string_view command, char** argv)
{
    const std::optional<int> index = parseIndex(argv[3]);
    if (!index)
        return usage();
    const QImage icon = bw::extractIcon(std::filesystem::path(argv[2]), *index);
    if (icon.isNull()) {
        std::fprintf(stderr, "bildwiesel-cli: kein Icon mit Index %d in: ", *index);
        std::fwrite(argv[2], 1, std::strlen(argv[2]), stderr);
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

// The reading command without windows: the same scan and indexer as "Einlesen".
class CliReader final : public bw::IndexerHost, public bw::ScanProgress {
public:
    bool stop = false;

    void blankPage() override {}
    void setCountPanel(const QString&) override {}
    void pumpMessages() override {}
    void computePageGeometry() override {}
    void reportCatalogueFull() override
    {
        if (!stop)
            std::fprintf(stderr, "bildwiesel-cli: %s\n", bw::catalogueFullText(bw::Catalogue::kDefaultCapacity).toLocal8Bit().constData());
        stop = true; // nothing more fits: the read ends here
    }
    std::int64_t tickCount() override { return bw::tickCount(); }
    int iconCountOf(std::string_view path) override { return bw::iconCount(std::filesystem::path(std::string(path))); }

    void setCaption(const std::string&) override {}
    void setSearchLabel(const QString&) override {}
    void setCountLabel(const QString&) override {}
    void addLine(const QString&) override {}
    bool cancelled() override { return stop; }
};

int scan(int argc, char** argv)
{
    static const std::array<const char*, 6> kTypes = {"ico", "cur", "exe", "dll", "icl", "bmp"};
    std::array<bool, 6> checked;
    checked.fill(true);
    if (argc == 5 && std::string_view(argv[3]) == "--types") {
        checked.fill(false);
        std::string_view list = argv[4];
        while (!list.empty()) {
            const std::size_t comma = list.find(',');
            const std::string_view one = list.substr(0, comma);
            const auto it = std::find_if(kTypes.begin(), kTypes.end(), [&](const char* t) { return one == t; });
            if (it == kTypes.end())
                return usage();
            checked[static_cast<std::size_t>(it - kTypes.begin())] = true;
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        }
    } else if (argc != 3) {
        return usage();
    }

    const auto start = std::chrono::steady_clock::now();
    bw::Catalogue catalogue;
    CliReader reader;
    bw::TreeScanner scanner(catalogue, reader, reader);
    const std::string base = bw::withTrailingSlash(argv[2]);
    for (std::size_t t = 0; t < kTypes.size(); ++t)
        if (checked[t])
            scanner.scanTree(base + "*." + kTypes[t]);

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
    std::fprintf(stderr, "%lld Dateien, %d Einträge, %.3f Sekunden\n", static_cast<long long>(scanner.filesIndexed()),
                 catalogue.entryCount(), seconds);
    return kExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    // The image codecs live in QtGui but need no display, only an application object.
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return usage();
    const std::string_view command = argv[1];
    if (command == "count")
        return count(argc, argv);
    if (command == "scan")
        return scan(argc, argv);
    if ((command == "extract" || command == "write-ico" || command == "write-bmp") && argc == 5)
        return writeCommand(command, argv);
    return usage();
}
