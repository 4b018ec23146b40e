#pragma once

#include <string>
#include <string_view>

// Writes a whole file so that readers and crashes only ever see the old or the new content:
// the bytes go to a temporary file beside the target, are flushed, and the temporary file is
// renamed over the target. Returns false (with errno set) when any step fails; the target is
// then unchanged and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// Test seam: called after the temporary file is complete and before the rename. A hook that
// throws or ends the process simulates a crash at the worst moment.
void SetAtomicWriteHookForTests(void (*hook)(const std::string& tempPath));

// Reads a whole file. Returns false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
