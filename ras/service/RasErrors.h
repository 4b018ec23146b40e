#pragma once

#include "base/CoreException.h"

#include <string>
#include <utility>

// Failures of the dial-up service. Each kind has its own class so that the library can turn
// it into the result code a caller of the published functions expects.
ZELTIX_DECLARE_EXCEPTION(ERasService, ECoreException);
// A file of the service folder that is there but cannot be read: not a regular file, larger
// than the service ever writes one, or refused by the system. It is kept as it is.
ZELTIX_DECLARE_EXCEPTION(ERasUnreadableFile, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasCannotOpenPhonebook, ERasUnreadableFile);
ZELTIX_DECLARE_EXCEPTION(ERasCorruptPhonebook, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasCorruptTable, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasUnknownEntry, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasEntryExists, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasInvalidEntry, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasAlreadyConnected, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasNotConnected, ERasService);
ZELTIX_DECLARE_EXCEPTION(ERasInvalidHandle, ERasService);
// A pppd link the caller may not end: not a pppd any more, or not the caller's to signal.
ZELTIX_DECLARE_EXCEPTION(ERasHangUpRefused, ERasService);
// The same when the system denies it: a pppd of another user, or NetworkManager's PolicyKit.
ZELTIX_DECLARE_EXCEPTION(ERasHangUpDenied, ERasHangUpRefused);
// The entry is a peer of /etc/ppp/peers: pon and poff dial and hang it up, not the stand-in.
ZELTIX_DECLARE_EXCEPTION(ERasPppPeer, ERasService);
// The entry is one of NetworkManager's connections: nmcli activates, edits and removes it.
ZELTIX_DECLARE_EXCEPTION(ERasNmConnection, ERasService);

// The service's lock was not had in the time the process waits for it (see TFileLock): another
// process holds it. The operation can be tried again later.
class ERasServiceBusy : public ERasService {
public:
    ERasServiceBusy(std::string message, std::string lockPath)
        : ERasService(std::move(message))
        , FLockPath(std::move(lockPath))
    {
    }
    const char* ClassName() const override { return "ERasServiceBusy"; }
    const std::string& LockPath() const { return FLockPath; }

private:
    std::string FLockPath;
};
