#include "Volumes.h"

#include "support/Funky.h"

#include <QFile>
#include <QStorageInfo>

#include <algorithm>

namespace bw {

bool isPseudoFileSystem(const QByteArray& type)
{
    static const char* const pseudo[] = {"proc",       "sysfs",    "devtmpfs", "devpts",   "cgroup",  "cgroup2",
                                         "debugfs",    "tracefs",  "securityfs", "pstore", "bpf",     "configfs",
                                         "fusectl",    "mqueue",   "hugetlbfs", "autofs",  "binfmt_misc"};
    return std::any_of(std::begin(pseudo), std::end(pseudo), [&](const char* p) { return type == p; });
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
