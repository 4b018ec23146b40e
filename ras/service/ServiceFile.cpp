#include "ras/service/ServiceFile.h"

#include "ras/service/AnsiText.h"
#include "ras/service/RasErrors.h"

#include <cstring>
#include <sys/stat.h>

std::string UnreadableReason(const TCachedFile& file, const std::string& path, size_t cap)
{
    if (file.Result == TReadResult::rrTooBig)
        return "it is larger than " + std::to_string(cap) + " bytes, more than the service ever writes";
    if (file.Error != 0)
        return std::strerror(file.Error);
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return "it is a folder, not a regular file";
        if (S_ISFIFO(info.st_mode))
            return "it is a named pipe, not a regular file";
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
            return "it is a device, not a regular file";
        if (S_ISSOCK(info.st_mode))
            return "it is a socket, not a regular file";
    }
    return "it is not a regular file";
}

void RefuseUnreadable(const TCachedFile& file, const std::string& what, const std::string& path, size_t cap)
{
    if (file.Result == TReadResult::rrUnreadable || file.Result == TReadResult::rrTooBig)
        throw ERasUnreadableFile(
            "Cannot read the " + what + " " + ReadableUtf8(path) + ": " + UnreadableReason(file, path, cap));
}
