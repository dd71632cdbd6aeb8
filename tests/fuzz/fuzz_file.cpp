// libFuzzer harness: the path the program really takes, through a file on disk. Inputs with an
// odd first byte are padded past the size up to which files are read, so that they are mapped;
// those are then cut short in the middle of a batch of extractions, as another program might.

#include "icons/IconExtractor.h"
#include "icons/MappedFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const std::string& scratchPath()
{
    // In $TMPDIR when set: on a tmpfs the harness runs at the speed of the readers, not the disk.
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/bw-fuzz-XXXXXX";
        return std::string(::mkdtemp(dir.data())) + "/datei";
    }();
    return path;
}

// Writes the input and, for the mapped path, extends the file with zeros past the read limit
// (a sparse tail, so the padding costs no writing).
bool writeAll(const std::string& path, const std::uint8_t* data, std::size_t size, std::size_t length)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = size == 0 || ::write(fd, data, size) == static_cast<ssize_t>(size);
    ok = ok && ::ftruncate(fd, static_cast<off_t>(length)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bool mapped = size > 0 && (data[0] & 1);
    const std::size_t length = mapped ? bw::MappedFile::kReadLimit + 1 + size : size;
    bw::releaseFileCache();
    if (!writeAll(scratchPath(), data, size, length))
        return 0;
    const std::filesystem::path path = scratchPath();
    const int count = bw::iconCount(path);
    {
        const bw::ExtractionBatch batch;
        for (int i = 0; i < count && i < 8; ++i) {
            (void)bw::extractIcon(path, i);
            if (mapped && i == 0)
                (void)::truncate(path.c_str(), static_cast<off_t>(size / 2));
        }
    }
    (void)bw::extractIcon(path, 0);
    return 0;
}
