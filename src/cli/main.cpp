// bildwiesel-cli: the icon core for scripts and measurements.

#include "fileops/BitmapExport.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/SafeFile.h"

#include <QBuffer>
#include <QCoreApplication>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

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
                "  bildwiesel-cli write-bmp DATEI INDEX AUSGABE.bmp\n",
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
    if ((command == "extract" || command == "write-ico" || command == "write-bmp") && argc == 5)
        return writeCommand(command, argv);
    return usage();
}
