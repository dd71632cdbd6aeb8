#pragma once

#include <QByteArray>

#include <filesystem>

namespace bw {

enum class WriteResult { Ok, AlreadyExists, CannotCreate, WriteFailed };

// Writes a new file and never replaces one: the file is created exclusively, and if anything
// fails after it was created, the partial file is removed again.
WriteResult writeNewFile(const std::filesystem::path& path, const QByteArray& bytes);

} // namespace bw
