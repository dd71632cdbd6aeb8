#pragma once

#include <QByteArray>

#include <optional>
#include <string>

namespace bw {

// The whole content of a regular file, opened by the bytes of its path (names need not be UTF-8);
// none when it cannot be opened or read, or is no regular file (a FIFO would block).
std::optional<QByteArray> readWholeFile(const std::string& path);

} // namespace bw
