#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

// A mounted volume that can hold files: its root path (ending in '/') and a display name.
struct Volume {
    std::string root;
    QString displayName;
};

// File systems that only describe the kernel or devices; they are never listed or entered.
bool isPseudoFileSystem(const QByteArray& type);

// The file system type of the mount that lies on `device` (a stat's st_dev), read by bytes from
// a table in the kernel's mountinfo layout; empty when no mount has that device.
QByteArray fileSystemTypeOfDevice(std::uint64_t device, std::string_view mountInfo);
// The same from this process's mount table.
QByteArray fileSystemTypeOfDevice(std::uint64_t device);

// The valid, ready, real volumes, in order of their root path.
std::vector<Volume> mountedVolumes();

// The root of the volume that holds a directory: the longest root that is a prefix of it (both
// ending in '/'); empty when none is.
std::string volumeRootOf(const std::string& directory, const std::vector<Volume>& volumes);

} // namespace bw
