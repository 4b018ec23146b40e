#pragma once

#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

// What a start finds in its program folder.
enum class TInstanceClaim {
    icFirst,         // no program runs for the folder: this one holds it now
    icHandedOver,    // the same user's program runs for it and has been asked to show itself
    icHeldByAnother, // another user's program holds it, or one that does not answer
    icLockUnusable,  // the lock file's name is taken by something that is no regular file
};

// One running program per program folder, as two programs saving the same files would undo
// each other's work. The folder's lock file, locked with flock for as long as its holder
// lives, says whether a program runs for the folder; a local socket named after the user and
// the folder carries a later start's request to show the running program. A holder that
// crashed leaves its socket file behind; the lock, which the kernel released, makes it safe
// for the next holder to replace it.
class TSingleInstance {
public:
    explicit TSingleInstance(const QString& folder);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // Takes the folder, or hands over to the program that holds it. A holder that has its lock
    // but does not listen yet (it is starting) is given a moment to do so.
    TInstanceClaim Claim();

    // Raised in the holder, from its event loop, when a later start has handed over to it.
    std::function<void()> OnShowRequest;

    // The lock file's name in the program folder.
    static QString LockFileName();
    // The full path of the folder's socket for this user: in the user's runtime folder, or
    // else in a folder of the user's own under /tmp. Only a folder that is the user's and
    // closed to everyone else will do, or another user could take the name first and receive
    // the requests; without one there is no socket ("") and later starts cannot hand over.
    QString ServerName() const;

    // With icLockUnusable: what stands in the lock file's place (its st_mode).
    unsigned LockFileMode() const { return FLockMode; }

private:
    // False when the lock file is there but cannot be opened: it is another user's, or no
    // regular file (FLockMode then says what it is).
    bool OpenLockFile();
    bool LockFileIsOurs() const;
    void Listen();
    bool HandOver() const;
    void ReadRequest(QLocalSocket* socket);

    QString FFolder; // canonical, without a trailing separator
    int FLockFd = -1;
    unsigned FLockMode = 0;
    std::unique_ptr<QLocalServer> FServer;
};
