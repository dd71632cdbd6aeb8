#pragma once

#include <QByteArray>

#include <filesystem>

namespace bw {

enum class WriteResult { Ok, AlreadyExists, CannotCreate, WriteFailed };

// Writes a new file and never replaces one: the file is created exclusively, and if anything
// fails after it was created, the partial file is removed again.
WriteResult writeNewFile(const std::filesystem::path& path, const QByteArray& bytes);

// Writes a file in one step, replacing the one of that name: the bytes go to a temporary
// "<name>.XXXXXX" beside it, which is renamed over the file only once it is complete and on disk.
// On any failure the temporary is removed and the old file stays as it was. A replaced file keeps
// its permissions. The path is used as bytes, so every name works.
bool replaceFile(const std::filesystem::path& path, const QByteArray& bytes);

// True when a regular file (or a link to one) of that path exists; directories do not count.
bool regularFileExists(const std::filesystem::path& path);

enum class CopyResult { Ok, AlreadyExists, SourceUnreadable, CannotCreate, WriteFailed };

// Copies a file into a new file and never replaces one: the source is opened first, the target
// created exclusively, and a partly copied target removed again on any failure.
CopyResult copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target);

} // namespace bw
