#pragma once

#include <cstddef>
#include <string>

// A small file system of the test's own over a folder: a tmpfs in a private mount namespace of
// the calling thread, so nothing of it shows on the machine. It can be made read-only and
// filled up, as a real disk is. Needs root (CI runs as root); Unavailable() says why it could
// not be had, and the test then skips.
class TScratchMount {
public:
    TScratchMount(const std::string& folder, std::size_t sizeBytes);
    ~TScratchMount();
    TScratchMount(const TScratchMount&) = delete;
    TScratchMount& operator=(const TScratchMount&) = delete;

    const std::string& Unavailable() const { return FUnavailable; }

    void SetReadOnly(bool readOnly);
    // Takes the free space with a filler file until about `leave` bytes are left.
    void Fill(std::size_t leave = 0);
    // Gives the filler's space back.
    void Free();

private:
    std::string FFolder;
    std::size_t FSize = 0;
    std::string FUnavailable;
    bool FMounted = false;
};
