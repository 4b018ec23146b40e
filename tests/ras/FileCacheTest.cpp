// The file cache over real files and real inotify: what it answers from memory, and that every
// way a file can change is seen at the next call. The service's polls through it.

#include "ras/service/FileCache.h"
#include "base/AtomicFile.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "ras/service/ServiceFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;

// Makes the file a different one the way a writer would; the content is always "after...".
struct TChange {
    const char* Name;
    std::function<void(const TTempDir&, const std::string&)> Apply;
};

const TChange kChanges[] = {
    {"replaced by a rename",
        [](const TTempDir& dir, const std::string& name) {
            ASSERT_TRUE(WriteFileAtomically(dir.File(name), "after-1"));
        }},
    // The same size, at once: the clock has not ticked, so only inotify can tell.
    {"edited in place, same size", [](const TTempDir& dir, const std::string& name) { dir.Write(name, "after-2"); }},
    {"edited in place, other size",
        [](const TTempDir& dir, const std::string& name) { dir.Write(name, "after-longer"); }},
    {"deleted and made anew",
        [](const TTempDir& dir, const std::string& name) {
            std::filesystem::remove(dir.File(name));
            dir.Write(name, "after-3");
        }},
    {"given other times through a second name",
        [](const TTempDir& dir, const std::string& name) {
            // A hard link elsewhere is outside the folder's watch: the times still tell.
            TTempDir other;
            ASSERT_EQ(::link(dir.File(name).c_str(), other.File("link").c_str()), 0);
            int fd = ::open(other.File("link").c_str(), O_WRONLY | O_TRUNC);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::write(fd, "after-4", 7), 7);
            const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
            ASSERT_EQ(::futimens(fd, times), 0);
            ::close(fd);
        }},
};

TEST(FileCacheTest, AnUnchangedFileIsReadOnceAndEveryChangeIsSeenAtTheNextCall)
{
    for (const TChange& change : kChanges) {
        SCOPED_TRACE(change.Name);
        TTempDir dir;
        TFileCache cache;
        dir.Write("table", "before!");
        EXPECT_EQ(*cache.Read(dir.File("table")).Bytes, "before!");
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(*cache.Read(dir.File("table")).Bytes, "before!");
        EXPECT_EQ(cache.FileReads(), 1u);

        change.Apply(dir, "table");
        const TCachedFile file = cache.Read(dir.File("table"));
        ASSERT_EQ(file.Result, TReadResult::rrOk);
        EXPECT_EQ(file.Bytes->substr(0, 6), "after-");
        EXPECT_EQ(*file.Bytes, dir.Read("table"));
        EXPECT_EQ(cache.FileReads(), 2u);
        cache.Read(dir.File("table"));
        EXPECT_EQ(cache.FileReads(), 2u);
    }
}

TEST(FileCacheTest, AMissingFileIsNeverOpenedUntilItComes)
{
    TTempDir dir;
    TFileCache cache;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(cache.Read(dir.File("ppp-links")).Result, TReadResult::rrMissing);
    EXPECT_EQ(cache.FileReads(), 0u);
    dir.Write("ppp-links", "x");
    EXPECT_EQ(*cache.Read(dir.File("ppp-links")).Bytes, "x");
    std::filesystem::remove(dir.File("ppp-links"));
    EXPECT_EQ(cache.Read(dir.File("ppp-links")).Result, TReadResult::rrMissing);
    EXPECT_EQ(cache.FileReads(), 1u);
}

TEST(FileCacheTest, CapsAndFilesThatAreNoRegularFilesAreAnsweredAsABoundedReadDoes)
{
    TTempDir dir;
    TFileCache cache;
    dir.Write("big", std::string(10, 'x'));
    TCachedFile file = cache.Read(dir.File("big"), 4);
    EXPECT_EQ(file.Result, TReadResult::rrTooBig);
    EXPECT_EQ(*file.Bytes, "xxxx");
    EXPECT_EQ(cache.Read(dir.File("big")).Result, TReadResult::rrOk) << "another cap reads again";

    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(cache.Read(dir.File("fifo"), 100, true).Result, TReadResult::rrUnreadable);
    std::filesystem::create_directory(dir.File("folder"));
    file = cache.Read(dir.File("folder"));
    EXPECT_EQ(file.Result, TReadResult::rrUnreadable);
    EXPECT_EQ(file.Error, EISDIR);
}

TEST(FileCacheTest, WhatWasParsedIsKeptAndAFailedParseFailsAgainUntilTheFileChanges)
{
    TTempDir dir;
    TFileCache cache;
    int parses = 0;
    auto parse = [&parses](std::string_view bytes) {
        ++parses;
        if (bytes == "bad")
            throw std::runtime_error("bad file");
        return std::string(bytes) + "!";
    };
    dir.Write("f", "good");
    TCachedFile file;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(*cache.Parsed<std::string>(dir.File("f"), file, parse), "good!");
    EXPECT_EQ(parses, 1);

    dir.Write("f", "bad");
    for (int i = 0; i < 2; ++i)
        EXPECT_THROW(cache.Parsed<std::string>(dir.File("f"), file, parse), std::runtime_error);
    EXPECT_EQ(parses, 2);

    std::filesystem::remove(dir.File("f"));
    EXPECT_EQ(cache.Parsed<std::string>(dir.File("f"), file, parse), nullptr);
    EXPECT_EQ(file.Result, TReadResult::rrMissing);
}

TEST(FileCacheTest, AFolderIsListedAgainOnlyWhenANameComesOrGoes)
{
    TTempDir dir;
    TFileCache cache;
    dir.Write("b", "");
    dir.Write("a", "");
    EXPECT_EQ(*cache.List(dir.Path()).Names, (std::vector<std::string>{"a", "b"}));
    cache.List(dir.Path());
    EXPECT_EQ(cache.FolderListings(), 1u);
    dir.Write("c", "");
    EXPECT_EQ(*cache.List(dir.Path()).Names, (std::vector<std::string>{"a", "b", "c"}));
    std::filesystem::rename(dir.File("a"), dir.File("d"));
    EXPECT_EQ(*cache.List(dir.Path()).Names, (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(cache.FolderListings(), 3u);
    EXPECT_EQ(cache.List(dir.File("none")).Error, ENOENT);
}

// A folder that is not there (the pppd peers on a machine without pppd) is looked for once;
// made later, level by level or moved in whole, it is listed at the next call.
TEST(FileCacheTest, AMissingFolderIsSeenAtTheNextCallOnceItComes)
{
    for (const bool movedIn : {false, true}) {
        SCOPED_TRACE(movedIn ? "moved in" : "made level by level");
        TTempDir dir;
        TFileCache cache;
        const std::string peers = dir.File("etc/ppp/peers");
        EXPECT_EQ(cache.List(peers).Error, ENOENT);
        const uint64_t looks = cache.Looks();
        EXPECT_EQ(cache.List(peers).Error, ENOENT);
        if (movedIn) {
            TTempDir elsewhere;
            std::filesystem::create_directories(elsewhere.File("etc/ppp/peers"));
            std::filesystem::rename(elsewhere.File("etc"), dir.File("etc"));
        } else {
            std::filesystem::create_directory(dir.File("etc"));
            EXPECT_EQ(cache.List(peers).Error, ENOENT);
            std::filesystem::create_directory(dir.File("etc/ppp"));
            EXPECT_EQ(cache.List(peers).Error, ENOENT);
            std::filesystem::create_directory(peers);
        }
        EXPECT_EQ(cache.List(peers).Error, 0);
        EXPECT_GT(cache.Looks(), looks);
    }
}

TEST(FileCacheTest, ThreadsReadingWhileAWriterReplacesTheFileSeeOnlyWholeVersions)
{
    TTempDir dir;
    TFileCache cache;
    dir.Write("t", "version 0\n");
    std::vector<std::thread> readers;
    std::atomic<bool> torn{false};
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                const TCachedFile file = cache.Read(dir.File("t"));
                if (!file.Bytes || !file.Bytes->starts_with("version ") || !file.Bytes->ends_with("\n"))
                    torn = true;
            }
        });
    for (int v = 1; v <= 100; ++v)
        ASSERT_TRUE(WriteFileAtomically(dir.File("t"), "version " + std::to_string(v) + "\n"));
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_FALSE(torn);
    EXPECT_EQ(*cache.Read(dir.File("t")).Bytes, "version 100\n");
}

// The service polls through the shared cache: a second of polling an unchanged service reads
// nothing (on a local file system it does not even look at a file: the watches tell), and its
// own writes show at the next call.
TEST(FileCacheTest, ServicePollsReadNothingUntilSomethingIsWritten)
{
    TTempDir folder;
    TRasService service(folder.Path());
    service.AddEntry({"Provider", "modem", "Standard 56000 bps Modem", 56000, ""});
    const HRASCONN handle = service.Dial("Provider", {.ConnectAfterMs = 0}, T0);
    TFileCache& cache = TFileCache::Shared();
    service.Connections(T0);
    service.Phonebook();

    const uint64_t reads = cache.FileReads();
    const uint64_t looks = cache.Looks();
    for (int64_t t = T0 + 1000; t <= T0 + 3000; t += 1000) {
        ASSERT_EQ(service.Connections(t).size(), 1u);
        EXPECT_EQ(service.Find(handle, t)->State, RASCS_Connected);
        EXPECT_EQ(service.Phonebook().size(), 1u);
    }
    EXPECT_EQ(cache.FileReads(), reads);
    // Where a watch cannot see every change, the files are looked at again now and then.
    if (FolderWatchSeesEveryChange(folder.Path())) {
        EXPECT_EQ(cache.Looks(), looks);
    }

    EXPECT_TRUE(service.HangUp(handle, T0 + 4000));
    EXPECT_EQ(service.Find(handle, T0 + 4000)->State, RASCS_Disconnected);
    service.AddEntry({"Second", "modem", "Modem", 56000, ""});
    EXPECT_EQ(service.Phonebook().size(), 2u);

    // A table damaged by someone else fails every call, from memory, until it is sound again.
    const std::string sound = folder.Read("connections");
    folder.Write("connections", "garbage\n");
    EXPECT_THROW(service.Connections(T0 + 5000), ERasCorruptTable);
    const uint64_t damagedReads = cache.FileReads();
    EXPECT_THROW(service.Connections(T0 + 5000), ERasCorruptTable);
    EXPECT_EQ(cache.FileReads(), damagedReads);
    folder.Write("connections", sound);
    EXPECT_EQ(service.Connections(T0 + 5000).size(), 1u);
}

} // namespace

namespace {

// One poll looks at the watch's queue once: a change by another process later in the poll
// shows in the next one, a write of this process's own at once.
TEST(FileCacheTest, APollTakesTheWatchsEventsOnceAndSeesItsOwnWritesAtOnce)
{
    TTempDir dir;
    TFileCache& cache = TFileCache::Shared();
    const std::string table = dir.File("table");
    dir.Write("table", "one");
    EXPECT_EQ(*cache.Read(table).Bytes, "one");
    {
        const TFileCache::TBatch poll;
        EXPECT_EQ(*cache.Read(table).Bytes, "one");
        dir.Write("table", "two");
        EXPECT_EQ(*cache.Read(table).Bytes, "one");
        SaveServiceFile(table, "three");
        EXPECT_EQ(*cache.Read(table).Bytes, "three");
    }
    dir.Write("table", "four");
    EXPECT_EQ(*cache.Read(table).Bytes, "four");
}

} // namespace
