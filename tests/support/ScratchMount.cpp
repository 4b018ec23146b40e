#include "tests/support/ScratchMount.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <stdexcept>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace {

// The mounts become this thread's own once; later mounts of the same thread stay private too.
std::string PrivateMounts()
{
    static thread_local std::string failure = [] {
        if (::geteuid() != 0)
            return std::string("a private mount namespace needs root");
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("no private mount namespace: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("cannot make the mounts private: ") + std::strerror(errno);
        return std::string();
    }();
    return failure;
}

std::string Options(std::size_t size)
{
    return "size=" + std::to_string(size) + ",mode=0755";
}

} // namespace

TScratchMount::TScratchMount(const std::string& folder, std::size_t sizeBytes)
    : FFolder(folder)
    , FSize(sizeBytes)
{
    FUnavailable = PrivateMounts();
    if (!FUnavailable.empty())
        return;
    if (::mount("zeltix-scratch", FFolder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, Options(FSize).c_str()) != 0) {
        FUnavailable = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return;
    }
    FMounted = true;
}

TScratchMount::~TScratchMount()
{
    if (FMounted)
        ::umount2(FFolder.c_str(), MNT_DETACH);
}

void TScratchMount::SetReadOnly(bool readOnly)
{
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    if (::mount(nullptr, FFolder.c_str(), nullptr, flags, Options(FSize).c_str()) != 0)
        throw std::runtime_error(std::string("cannot remount the tmpfs: ") + std::strerror(errno));
}

void TScratchMount::Fill(std::size_t leave)
{
    const std::string filler = FFolder + "/.filler";
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error(std::string("cannot make the filler: ") + std::strerror(errno));
    const std::vector<char> block(4096, 'x');
    off_t size = ::lseek(fd, 0, SEEK_END);
    while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()))
        size += static_cast<off_t>(block.size());
    // The last block may have gone in partly.
    size = ::lseek(fd, 0, SEEK_END);
    const off_t kept = size > static_cast<off_t>(leave) ? size - static_cast<off_t>(leave) : 0;
    [[maybe_unused]] const int cut = ::ftruncate(fd, kept);
    ::close(fd);
}

void TScratchMount::Free()
{
    ::unlink((FFolder + "/.filler").c_str());
}
