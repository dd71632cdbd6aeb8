#pragma once

#include <QByteArray>

#include <sys/stat.h>

#include <cstddef>
#include <optional>
#include <string>

namespace bw {

// Opens a file for reading by the bytes of its path, only when it is a regular file: a FIFO,
// device or socket under a file's name is refused at once, never waited on (the open does not
// block). Returns the descriptor, which the caller closes, with the file's stat in `info`; or -1.
int openRegularFile(const char* path, struct stat& info);
// The same for `name` in the open directory `directory`: a read that walks a tree has the
// directory open already, and the system then need not look up the whole path again.
int openRegularFileAt(int directory, const char* name, struct stat& info);

// Reads into `data` until `size` bytes are in, the file ends or a read fails (an interrupted read
// is repeated); returns how many bytes came.
std::size_t readUpTo(int fd, void* data, std::size_t size);

// The whole content of a regular file, opened by the bytes of its path (names need not be UTF-8);
// none when it cannot be opened or read, or is no regular file (a FIFO would block).
std::optional<QByteArray> readWholeFile(const std::string& path);

} // namespace bw
