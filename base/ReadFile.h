#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Reads a whole file, into a string sized once for it. It is opened without blocking (a FIFO in
// its place never waits for a writer) and read only when it is a regular file of at most limit
// bytes, so a link to /dev/zero or a huge file costs nothing. Returns false when it cannot be
// read, with errno set (ENOENT: it does not exist; EFBIG: too large; EISDIR: a folder; EINVAL:
// another kind of file that is not a regular one) and, when why is given, the reason as a text for a message.
constexpr std::size_t DefaultReadLimit = std::size_t{64} << 20;
bool ReadWholeFile(
    const std::string& path, std::string& bytes, std::size_t limit = DefaultReadLimit, std::string* why = nullptr);

// The same into memory of the caller's: reserve(size, keep) returns room for at least size bytes
// that holds the first keep bytes read so far (or nullptr when there is none); filled receives
// the number of bytes read.
using TReadBuffer = std::function<char*(std::size_t size, std::size_t keep)>;
bool ReadWholeFileInto(const std::string& path, const TReadBuffer& reserve, std::size_t& filled, std::size_t limit,
    std::string* why = nullptr);

// What a file that is not a regular file is, for a message ("a folder", "a FIFO", ...).
std::string FileKindText(unsigned mode);
