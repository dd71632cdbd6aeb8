// bildwiesel-cli thumbnail: the preview picture a file manager shows for a Windows program,
// library, icon library, icon or cursor file.

#include "CliSupport.h"
#include "Commands.h"

#include "fileops/Thumbnail.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

namespace cli {

int thumbnailCommand(int argc, char** argv)
{
    int edge = bw::kDefaultThumbnailEdge;
    std::vector<const char*> files;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-s" || arg == "--size") {
            if (++i >= argc)
                return usage();
            const std::optional<int> value = parseIndex(argv[i]);
            if (!value || *value < bw::kMinThumbnailEdge || *value > bw::kMaxThumbnailEdge)
                return usage();
            edge = *value;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2)
        return usage();
    const QImage thumbnail = bw::thumbnailOf(std::filesystem::path(files[0]), edge);
    if (thumbnail.isNull()) {
        complain("kein Icon in", files[0]);
        return kExitFailure;
    }
    if (!bw::writePngReplacing(std::filesystem::path(files[1]), thumbnail)) {
        complain("Datei kann nicht geschrieben werden", files[1]);
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace cli
