#include "platform/SingleInstance.h"

#include "platform/Seams.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a later start sends the holder: one line.
constexpr char ShowRequest[] = "show\n";
constexpr qint64 LongestRequest = 64;

// A holder takes its lock a moment before it listens; a start that comes in between waits
// for it this long, even on a busy machine, before it says the folder is held by another.
constexpr int ProgramPatienceMs = 2000;
constexpr int RetryMs = 50;
// A holder that is alive accepts at once: the kernel queues the connection for it.
constexpr int SocketTimeoutMs = 1000;

} // namespace

TSingleInstance::TSingleInstance(const QString& folder)
{
    // Through a link or with a trailing separator, a folder is still the same folder.
    FFolder = QDir(folder).canonicalPath();
    if (FFolder.isEmpty())
        FFolder = QDir::cleanPath(QDir(folder).absolutePath());
}

TSingleInstance::~TSingleInstance()
{
    // The socket goes before the lock, so the next holder never finds a live one.
    FServer.reset();
    if (FLockFd >= 0)
        ::close(FLockFd);
}

QString TSingleInstance::LockFileName()
{
    return QStringLiteral(".zeltix.lock");
}

namespace {

// A folder that is the user's own and that no one else may enter or write to: not a link, a
// folder, owned by the user, with no permissions for the group or others.
bool IsPrivateFolder(const QString& dir)
{
    struct stat st { };
    return !dir.isEmpty() && QDir::isAbsolutePath(dir) && ::lstat(QFile::encodeName(dir).constData(), &st) == 0 &&
        S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

} // namespace

QString TSingleInstance::ServerName() const
{
    // The user's runtime folder is private to the user. A session without one gets a folder of
    // the user's own under /tmp; one there already must be the user's and closed, or it is
    // someone else's trap.
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!IsPrivateFolder(dir)) {
        dir = PlatformSeams().InstanceTempFolder.value_or(QStringLiteral("/tmp")) +
            QStringLiteral("/zeltix-%1").arg(::geteuid());
        ::mkdir(QFile::encodeName(dir).constData(), 0700);
        if (!IsPrivateFolder(dir))
            return {};
    }
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(FFolder), QCryptographicHash::Sha256).toHex().left(16);
    return dir + QStringLiteral("/zeltix-%1-%2").arg(::geteuid()).arg(QString::fromLatin1(hash));
}

TInstanceClaim TSingleInstance::Claim()
{
    if (!OpenLockFile())
        return FLockMode != 0 ? TInstanceClaim::icLockUnusable : TInstanceClaim::icHeldByAnother;
    // A folder that cannot hold the lock file cannot hold any of the program's files either:
    // there is nothing to guard.
    if (FLockFd < 0)
        return TInstanceClaim::icFirst;

    QDeadlineTimer patience(PlatformSeams().InstancePatienceMs.value_or(ProgramPatienceMs));
    for (;;) {
        if (::flock(FLockFd, LOCK_EX | LOCK_NB) == 0) {
            Listen();
            return TInstanceClaim::icFirst;
        }
        if (errno == EINTR)
            continue;
        // A lock that cannot be taken for another reason guards nothing we could rely on.
        if (errno != EWOULDBLOCK || !LockFileIsOurs())
            return TInstanceClaim::icHeldByAnother;
        if (HandOver())
            return TInstanceClaim::icHandedOver;
        if (patience.hasExpired())
            return TInstanceClaim::icHeldByAnother;
        QThread::msleep(RetryMs);
    }
}

bool TSingleInstance::OpenLockFile()
{
    // Read access is all flock needs, so a lock file of another user serves as well. Opened
    // without waiting (a FIFO of that name would never answer) and never through a link.
    const QByteArray path = QFile::encodeName(FFolder + QLatin1Char('/') + LockFileName());
    FLockFd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
    struct stat st { };
    if (FLockFd >= 0) {
        if (::fstat(FLockFd, &st) == 0 && S_ISREG(st.st_mode))
            return true;
        FLockMode = st.st_mode;
        ::close(FLockFd);
        FLockFd = -1;
        return false;
    }
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISREG(st.st_mode))
        FLockMode = st.st_mode;
    return false;
}

bool TSingleInstance::LockFileIsOurs() const
{
    struct stat st { };
    return ::fstat(FLockFd, &st) == 0 && st.st_uid == ::geteuid();
}

void TSingleInstance::Listen()
{
    const QString name = ServerName();
    if (name.isEmpty())
        return;
    FServer = std::make_unique<QLocalServer>();
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // With the lock held, a socket file there can only be a crashed holder's.
    QLocalServer::removeServer(name);
    if (!FServer->listen(name)) {
        // Later starts then find no one to hand over to; the lock still guards the files.
        FServer.reset();
        return;
    }
    QObject::connect(FServer.get(), &QLocalServer::newConnection, FServer.get(), [this] {
        while (QLocalSocket* socket = FServer->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { ReadRequest(socket); });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void TSingleInstance::ReadRequest(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > LongestRequest)
            socket->abort();
        return;
    }
    const bool show = socket->readLine(LongestRequest) == ShowRequest;
    socket->abort();
    if (show && OnShowRequest)
        OnShowRequest();
}

bool TSingleInstance::HandOver() const
{
    const QString name = ServerName();
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(SocketTimeoutMs))
        return false;
    socket.write(ShowRequest);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(SocketTimeoutMs))
            return false;
    socket.disconnectFromServer();
    return true;
}
