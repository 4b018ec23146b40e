#pragma once

#include <cstddef>
#include <string>

// Files the pppd backend reads belong to other programs and users and may be hostile: a peer
// file can be huge or a FIFO, a /proc entry can vanish between two reads.
constexpr size_t kMaxSystemFileBytes = 64 * 1024;

enum class TReadResult { rrOk, rrMissing, rrUnreadable, rrTooBig };

// Reads a regular file of at most `cap` bytes without ever blocking on it. rrTooBig keeps the
// first `cap` bytes in `bytes`, for callers that may use a truncated file.
TReadResult ReadBoundedFile(const std::string& path, std::string& bytes, size_t cap = kMaxSystemFileBytes);
// The same relative to an open folder, which saves the path walk when scanning /proc.
TReadResult ReadBoundedFileAt(int dirFd, const std::string& path, std::string& bytes, size_t cap = kMaxSystemFileBytes);

// The same for a file already open (without blocking, as above), read from where it stands to
// its end; `error` takes the errno of rrUnreadable.
TReadResult ReadBoundedFd(int fd, std::string& bytes, size_t cap, int* error = nullptr);

// The file's first line without its line break, or "" when it cannot be read.
std::string ReadFirstLine(const std::string& path);
