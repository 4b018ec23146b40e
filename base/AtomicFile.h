#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Writes a whole file so that readers and crashes only ever see the old or the new content:
// the bytes go to a temporary file beside the target, are flushed, and the temporary file is
// renamed over the target. Returns false (with errno set) when any step fails; the target is
// then unchanged and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// The same for content made in pieces, so a large file need not be held as one string:
// produce hands each piece, in order, to the function it is given, which returns false when
// the piece could not be written. produce returns false to give up (with errno set); the
// target is then unchanged as well.
using TPieceWriter = std::function<bool(std::string_view piece)>;
bool WriteFileAtomicallyInPieces(const std::string& path, const std::function<bool(const TPieceWriter&)>& produce);

// The regular files in folder (a path ending in '/', or "" for the working folder) whose names
// are wanted, sorted; folders and links of such names are left out.
std::vector<std::string> RegularFilesNamed(
    const std::string& folder, const std::function<bool(std::string_view name)>& wanted);

// The temporary files that WriteFileAtomically leaves beside path when the process ends before
// the rename: regular files named path + "." + six letters or digits, as mkstemp makes them.
// Returns their paths, sorted; removing them is the caller's choice.
std::vector<std::string> AtomicWriteLeftovers(const std::string& path);

// A test may interrupt a write before its rename: TBaseSeams::AtomicWriteHook.
