// bildwiesel-cli thumbnail: the preview picture a file manager shows for a Windows program,
// library, icon library, icon or cursor file.

#include "CliSupport.h"
#include "Commands.h"

#include "fileops/Thumbnail.h"

#include <filesystem>

namespace cli {
namespace {

QList<QCommandLineOption> thumbnailOptions()
{
    return {QCommandLineOption({QStringLiteral("s"), QStringLiteral("size")},
                               QStringLiteral("Kantenlänge in Punkten, %1 bis %2 (Voreinstellung %3)")
                                   .arg(bw::kMinThumbnailEdge)
                                   .arg(bw::kMaxThumbnailEdge)
                                   .arg(bw::kDefaultThumbnailEdge),
                               QStringLiteral("GRÖSSE"), QString::number(bw::kDefaultThumbnailEdge))};
}

int runThumbnail(const Invocation& call)
{
    const std::optional<int> edge = parseIndex(call.value(QStringLiteral("size")));
    if (!edge || *edge < bw::kMinThumbnailEdge || *edge > bw::kMaxThumbnailEdge)
        return call.usageError(
            QStringLiteral("GRÖSSE muss eine Zahl von %1 bis %2 sein").arg(bw::kMinThumbnailEdge).arg(bw::kMaxThumbnailEdge));
    if (!isInputFile(call.argument(0)) || !isOutputFile(call.argument(1)))
        return kExitFailure;
    const QImage thumbnail = bw::thumbnailOf(std::filesystem::path(call.argument(0)), *edge);
    if (thumbnail.isNull()) {
        complain("kein Icon in", call.argument(0));
        return kExitFailure;
    }
    if (!bw::writePngReplacing(std::filesystem::path(call.argument(1)), thumbnail)) {
        complain("Datei kann nicht geschrieben werden", call.argument(1));
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

// Commands read as tables of their texts.
// clang-format off
const Command thumbnailCommand {
    "thumbnail", "[-s GRÖSSE] DATEI AUSGABE.png", "Vorschaubild des ersten Icons für Dateimanager",
    "Nimmt das größte Bild der ersten Icon-Gruppe und bringt es auf GRÖSSE x GRÖSSE Punkte:\n"
    "kleinere Bilder werden mit scharfen Kanten vergrößert, nicht quadratische mittig auf\n"
    "durchsichtigen Grund gesetzt. Eine vorhandene AUSGABE wird ersetzt, weil der Dateimanager\n"
    "den Namen vorgibt (und die Datei manchmal schon angelegt hat).",
    2, 2, thumbnailOptions, runThumbnail};
// clang-format on

} // namespace cli
