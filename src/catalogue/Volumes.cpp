#include "Volumes.h"

#include "support/Funky.h"
#include "support/ReadFile.h"

#include <QFile>
#include <QStorageInfo>

#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>

namespace bw {

bool isPseudoFileSystem(const QByteArray& type)
{
    static const char* const pseudo[]
        = {"proc",   "sysfs", "devtmpfs", "devpts",  "cgroup", "cgroup2",   "debugfs", "tracefs",    "securityfs",
           "pstore", "bpf",   "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs",  "binfmt_misc"};
    return std::any_of(std::begin(pseudo), std::end(pseudo), [&](const char* p) { return type == p; });
}

QByteArray fileSystemTypeOfDevice(std::uint64_t device, std::string_view mountInfo)
{
    // A line: id parent major:minor root mount-point options [optional fields...] - type source
    // super-options. Paths are escaped (\040 for a blank), so fields never hold blanks.
    while (!mountInfo.empty()) {
        const std::size_t end = std::min(mountInfo.find('\n'), mountInfo.size());
        const std::string_view line = mountInfo.substr(0, end);
        mountInfo.remove_prefix(std::min(end + 1, mountInfo.size()));
        std::vector<std::string_view> fields;
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t blank = std::min(line.find(' ', at), line.size());
            if (blank > at)
                fields.push_back(line.substr(at, blank - at));
            at = blank + 1;
        }
        if (fields.size() < 3)
            continue;
        unsigned major = 0;
        unsigned minor = 0;
        char colon = 0;
        const std::string numbers(fields[2]);
        if (std::sscanf(numbers.c_str(), "%u%c%u", &major, &colon, &minor) != 3 || colon != ':')
            continue;
        if (makedev(major, minor) != device)
            continue;
        const auto dash = std::find(fields.begin() + 3, fields.end(), std::string_view("-"));
        if (dash != fields.end() && dash + 1 != fields.end())
            return QByteArray((dash + 1)->data(), static_cast<qsizetype>((dash + 1)->size()));
    }
    return {};
}

QByteArray fileSystemTypeOfDevice(std::uint64_t device)
{
    // Plain reads, not QFile: the walk's worker threads call this too, and may still run while the
    // program ends.
    const QByteArray text = readWholeFile("/proc/self/mountinfo").value_or(QByteArray());
    return fileSystemTypeOfDevice(device, std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

std::vector<Volume> mountedVolumes()
{
    std::vector<Volume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !info.isReady() || isPseudoFileSystem(info.fileSystemType()))
            continue;
        const std::string root = withTrailingSlash(QFile::encodeName(info.rootPath()).toStdString());
        if (std::any_of(volumes.begin(), volumes.end(), [&](const Volume& v) { return v.root == root; }))
            continue;
        volumes.push_back({root, info.rootPath()});
    }
    std::sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) { return a.root < b.root; });
    return volumes;
}

std::string volumeRootOf(const std::string& directory, const std::vector<Volume>& volumes)
{
    std::string best;
    for (const Volume& v : volumes)
        if (directory.starts_with(v.root) && v.root.size() > best.size())
            best = v.root;
    return best;
}

} // namespace bw
