#pragma once

#include "ras/service/FileCache.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// The service's own files (rasphone.pbk, connections, ppp-links, nm-links) are read through the
// file cache as regular files only, and never beyond a size far above anything the service
// writes: a larger file is not one of its own (a link to /dev/zero, a log put in its place) and
// is refused before it fills the memory of the program that loads the library.

// The program enumerates at most 100 entries; an entry as Windows writes it, with all its
// settings, is some 4 KiB (rasdial's are under 100 bytes). Room for twenty times that.
constexpr size_t kMaxPhonebookBytes = 100 * 20 * 4096;
// Dial refuses a connection beyond this many (hung-up ones linger only for seconds, so a real
// table holds a handful). A connection's line is under 1,400 bytes with its three names at their
// record lengths percent-escaped; 4 KiB leaves room for longer names edited into the phonebook.
constexpr size_t kMaxConnections = 1000;
constexpr size_t kMaxTableBytes = kMaxConnections * 4096;
// A pppd link's line is a few numbers and its peer's name (at most 256 bytes); a NetworkManager
// link's adds an object path, a UUID and a device name. A thousand links is more pppd processes
// or modems than a machine runs.
constexpr size_t kMaxPppLinksBytes = 1000 * 512;
constexpr size_t kMaxNmLinksBytes = 1000 * 1024;

// Throws ERasUnreadableFile ("Cannot read the <what> <path>: <why>") for a file that is there
// but could not be read: not a regular file, larger than `cap`, or refused by the system.
void RefuseUnreadable(const TCachedFile& file, const std::string& what, const std::string& path, size_t cap);
// Why the file could not be read, for such messages.
std::string UnreadableReason(const TCachedFile& file, const std::string& path, size_t cap);
// "it is a named pipe, not a regular file" and the like, for a file of that mode.
std::string NotARegularFile(mode_t mode);

// The files the service saves in its folder.
constexpr std::string_view kServiceFileNames[] = {"rasphone.pbk", "connections", "ppp-links", "nm-links"};

// Replaces the file (one of kServiceFileNames) in one rename, as every save of the service
// does: the bytes go to a temporary file beside it (see ServiceSaveLeftovers), which gets the
// replaced file's mode and, where the system permits, its owner and group; a new file gets the
// umask's mode. A link in the file's place is replaced, never written through. The leftovers of
// saves in the folder that were killed before their rename are removed first. Call it only
// under the service's lock (TFileLock), which every save holds, so that no other process's save
// is under way. Throws ERasService when the file cannot be written; it is then unchanged.
void SaveServiceFile(const std::string& path, std::string_view bytes);

// The temporary files of the folder's saves that never got to their rename: regular files named
// like one of kServiceFileNames with ".saving-" and six letters or digits added, sorted.
std::vector<std::string> ServiceSaveLeftovers(const std::string& folder);
