#pragma once

#include <QByteArray>

#include <filesystem>

namespace bw {

enum class WriteResult { Ok, AlreadyExists, CannotCreate, WriteFailed };

// Writes a new file and never replaces one: the file is created exclusively, and if anything
// fails after it was created, the partial file is removed again.
WriteResult writeNewFile(const std::filesystem::path& path, const QByteArray& bytes);

enum class CopyResult { Ok, AlreadyExists, SourceUnreadable, CannotCreate, WriteFailed };

// Copies a file into a new file and never replaces one: the source is opened first, the target
// created exclusively, and a partly copied target removed again on any failure.
CopyResult copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target);

} // namespace bw
