#include "platform/SingleInstance.h"

#include "platform/Seams.h"
#include "tests/platform/GuiTestApplication.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TGuiTestApplication::Start(); }
    static void TearDownTestSuite() { TGuiTestApplication::Stop(); }
    // A start that finds no answer says so at once instead of giving a starting holder time.
    void SetUp() override { Seams->InstancePatienceMs = 0; }

    // Lets the event loop run until done, within a bound far above any real hand-over.
    static bool RunUntil(const std::function<bool()>& done)
    {
        QDeadlineTimer bound(10000);
        while (!done() && !bound.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        return done();
    }

    // A holder of the folder that counts the requests to show itself.
    std::unique_ptr<TSingleInstance> Holder(const TTempDir& folder, int& shown)
    {
        auto holder = std::make_unique<TSingleInstance>(QString::fromStdString(folder.Path()));
        holder->OnShowRequest = [&shown] { ++shown; };
        EXPECT_EQ(holder->Claim(), TInstanceClaim::icFirst);
        return holder;
    }

    static std::string LockFile(const TTempDir& folder)
    {
        return folder.File(TSingleInstance::LockFileName().toStdString());
    }

    TPlatformSeamScope Seams;
    TTempDir Folder;
};

TEST_F(SingleInstanceTest, ASecondStartHandsOverAndTheHolderShowsItself)
{
    int shown = 0;
    auto first = Holder(Folder, shown);
    EXPECT_TRUE(Folder.Exists(TSingleInstance::LockFileName().toStdString()));

    // The same folder spelled with a trailing separator and a detour is the same folder.
    TSingleInstance second(QString::fromStdString(Folder.Path() + "/./"));
    EXPECT_EQ(second.ServerName(), first->ServerName());
    EXPECT_EQ(second.Claim(), TInstanceClaim::icHandedOver);
    EXPECT_TRUE(RunUntil([&] { return shown == 1; }));
}

TEST_F(SingleInstanceTest, FoldersAreIndependentAndAFolderIsFreeOnceItsHolderHasGone)
{
    int shown = 0;
    TTempDir other;
    auto first = Holder(Folder, shown);
    auto elsewhere = Holder(other, shown);
    EXPECT_NE(first->ServerName(), elsewhere->ServerName());

    first.reset();
    auto next = Holder(Folder, shown);
    TSingleInstance later(QString::fromStdString(Folder.Path()));
    EXPECT_EQ(later.Claim(), TInstanceClaim::icHandedOver);
    EXPECT_TRUE(RunUntil([&] { return shown == 1; }));
}

TEST_F(SingleInstanceTest, TheSocketLeftByACrashedHolderIsTakenOver)
{
    const std::string path = TSingleInstance(QString::fromStdString(Folder.Path())).ServerName().toStdString();
    // A holder that died kept its socket file; the kernel has released its lock.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.c_str(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0) << std::strerror(errno);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));

    int shown = 0;
    auto first = Holder(Folder, shown);
    TSingleInstance second(QString::fromStdString(Folder.Path()));
    EXPECT_EQ(second.Claim(), TInstanceClaim::icHandedOver);
    EXPECT_TRUE(RunUntil([&] { return shown == 1; }));
    first.reset();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path))) << "a holder that ends takes its socket along";
}

TEST_F(SingleInstanceTest, ALockWhoseHolderDoesNotAnswerIsAnothersFolder)
{
    const int fd = ::open(LockFile(Folder).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    TSingleInstance start(QString::fromStdString(Folder.Path()));
    EXPECT_EQ(start.Claim(), TInstanceClaim::icHeldByAnother);

    ::close(fd);
    TSingleInstance next(QString::fromStdString(Folder.Path()));
    EXPECT_EQ(next.Claim(), TInstanceClaim::icFirst);
}

TEST_F(SingleInstanceTest, ALockFileOfAnotherUserCountsOnlyWhileItIsHeld)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving the lock file to another user needs root";
    const int fd = ::open(LockFile(Folder).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchown(fd, 65534, 65534), 0) << std::strerror(errno);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    // Whatever answers on this user's socket, it is not the program that holds the folder.
    TSingleInstance start(QString::fromStdString(Folder.Path()));
    QLocalServer impostor;
    ASSERT_TRUE(impostor.listen(start.ServerName()));
    EXPECT_EQ(start.Claim(), TInstanceClaim::icHeldByAnother);
    impostor.close();

    ::close(fd);
    TSingleInstance next(QString::fromStdString(Folder.Path()));
    EXPECT_EQ(next.Claim(), TInstanceClaim::icFirst) << "a program that has ended holds nothing";
}

TEST_F(SingleInstanceTest, ALockFileThatIsNoRegularFileIsSaidAsSuchAndNeverWaitedOn)
{
    const std::string lock = LockFile(Folder);
    const struct {
        const char* What;
        std::function<void()> Make;
        unsigned Kind;
    } cases[] = {
        {"a folder", [&] { ::mkdir(lock.c_str(), 0700); }, S_IFDIR},
        {"a FIFO", [&] { ::mkfifo(lock.c_str(), 0644); }, S_IFIFO},
        {"a link to a file",
            [&] {
                Folder.Write("other", "");
                ::symlink(Folder.File("other").c_str(), lock.c_str());
            },
            S_IFLNK},
        {"a link to nowhere", [&] { ::symlink(Folder.File("nowhere").c_str(), lock.c_str()); }, S_IFLNK},
    };
    for (const auto& c : cases) {
        ::rmdir(lock.c_str());
        ::unlink(lock.c_str());
        c.Make();
        TSingleInstance start(QString::fromStdString(Folder.Path()));
        EXPECT_EQ(start.Claim(), TInstanceClaim::icLockUnusable) << c.What;
        EXPECT_EQ(start.LockFileMode() & S_IFMT, c.Kind) << c.What;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(Folder.File("nowhere")))) << "no file made through a link";
    }
}

TEST_F(SingleInstanceTest, TheSocketLivesOnlyInAFolderOfTheUsersOwnClosedToOthers)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct TPutBack {
        QByteArray Value;
        ~TPutBack() { Value.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", Value); }
    } putBack{runtime};
    TTempDir own, temp;
    ::chmod(own.Path().c_str(), 0700);
    Seams->InstanceTempFolder = QString::fromStdString(temp.Path());
    TSingleInstance instance(QString::fromStdString(Folder.Path()));

    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(own.Path()));
    EXPECT_TRUE(instance.ServerName().startsWith(QString::fromStdString(own.Path()) + "/zeltix-"));
    // A runtime folder open to others is none: the name goes to the user's own under /tmp.
    ::chmod(own.Path().c_str(), 0777);
    const QString fallback = QString::fromStdString(temp.Path()) + QStringLiteral("/zeltix-%1").arg(::geteuid());
    EXPECT_TRUE(instance.ServerName().startsWith(fallback + "/zeltix-")) << instance.ServerName().toStdString();
    struct stat info { };
    ASSERT_EQ(::lstat(QFile::encodeName(fallback).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, ::geteuid());

    // Taken first by another user, or opened to all, it is not used at all.
    ::chmod(QFile::encodeName(fallback).constData(), 0777);
    EXPECT_EQ(instance.ServerName(), QString());
    if (::geteuid() == 0) {
        ::chmod(QFile::encodeName(fallback).constData(), 0700);
        ASSERT_EQ(::chown(QFile::encodeName(fallback).constData(), 65534, 65534), 0);
        EXPECT_EQ(instance.ServerName(), QString());
    }
    EXPECT_EQ(instance.Claim(), TInstanceClaim::icFirst) << "the lock still guards the folder";
}

TEST_F(SingleInstanceTest, AFolderThatCannotHoldTheLockFileHasNothingToGuard)
{
    TSingleInstance start(QString::fromStdString(Folder.File("missing")));
    EXPECT_EQ(start.Claim(), TInstanceClaim::icFirst);
}

} // namespace
