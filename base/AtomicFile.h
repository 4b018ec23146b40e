#pragma once

#include <string>
#include <string_view>
#include <vector>

// Writes a whole file so that readers and crashes only ever see the old or the new content:
// the bytes go to a temporary file beside the target, are flushed, and the temporary file is
// renamed over the target. Returns false (with errno set) when any step fails; the target is
// then unchanged and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// The temporary files that WriteFileAtomically leaves beside path when the process ends before
// the rename: regular files named path + "." + six letters or digits, as mkstemp makes them.
// Returns their paths, sorted; removing them is the caller's choice.
std::vector<std::string> AtomicWriteLeftovers(const std::string& path);

// Test seam: called after the temporary file is complete and before the rename. A hook that
// throws or ends the process simulates a crash at the worst moment.
void SetAtomicWriteHookForTests(void (*hook)(const std::string& tempPath));

// Reads a whole file. Returns false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
