#pragma once

#include "platform/WinTypes.h"
#include "ras/service/RasRecords.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The platform's connection status record, as the OnActiveConnection event hands it out.
using TRasConnStatusA = RASCONNSTATUSA;

enum TDialMode { dmAsync, dmSync };

// Language of the state texts; the ordinal picks the block of string resources.
enum TRasLanguage { ralgGerman, ralgEnglish, ralgCzech, ralgPortuguese, ralgPolish, ralgSlovak };

// EntryName is the entry's whole 257-character buffer, NUL-terminated, valid during the call.
using TOnEntryGet = std::function<void(QObject* Sender, const char* EntryName)>;
using TStandartEv = std::function<void(QObject* Sender)>;
using TOnNotConn = std::function<void(QObject* Sender, int ErrorCode, const QString& ErrorMessage)>;
using TOnAsyncEvent =
    std::function<void(QObject* Sender, int State, int Error, const QString& MessageText)>;
using TOnError = std::function<void(QObject* Sender, int ErrorCode, const QString& ErrorMessage)>;
// Status and the three strings live in GetActiveConnections' own buffers: a handler copies
// what it keeps.
using TOnActiveConn = std::function<void(QObject* Sender, int Handle, TRasConnStatusA& Status,
                                         const QString& StatusString, const char* EntryName,
                                         const char* DeviceType, const char* DeviceName)>;

// Watches the system's dial-up networking on request: lists the phonebook entries, reports the
// active connections with their state, hangs connections up and names the states.
class TDialUp : public QObject {
    Q_OBJECT

public:
    explicit TDialUp(QObject* AOwner);
    ~TDialUp() override;

    // Refills Entries and raises OnEntryGet per phonebook entry. 0, or RasEnumEntriesA's error.
    int GetEntries();
    // Raises OnActiveConnection per active connection; the platform writes Count.
    // 0, or RasEnumConnectionsA's error.
    int GetActiveConnections(int& Count);
    // Hangs the connection up and, on success, waits until the platform no longer knows its
    // handle, handling pending events meanwhile. Returns RasHangUpA's result.
    int HangUp(int Handle);
    // The platform's text for Error when it is not 0, else the state's text in Language.
    QString GetStatusString(int State, int Error);

    TDialMode DialMode() const { return FDialMode; }
    void SetDialMode(TDialMode Value) { FDialMode = Value; }
    const QStringList& Entries() const { return FEntries; }
    const QString& Entry() const { return FEntry; }
    void SetEntry(const QString& Value) { FEntry = Value; }
    TRasLanguage Language() const { return FLanguage; }
    void SetLanguage(TRasLanguage Value);
    const QString& ServerIP() const { return FServerIP; }
    const QString& ClientIP() const { return FClientIP; }

    // Link statistics.
    const QStringList& DUNA() const { return FDUNA; }
    const QString& DUNA_Key() const { return FDUNA_Key; }
    void SetDUNA_Key(const QString& Value) { FDUNA_Key = Value; }
    DWORD BytesXmit() const { return FBytesXmit; }
    DWORD BytesRecv() const { return FBytesRecv; }
    DWORD ConnectionSpeed() const { return FConnectionSpeed; }

    TOnEntryGet OnEntryGet;
    // The dial events are part of the component's interface but nothing raises them.
    TStandartEv OnDialing;
    TStandartEv OnConnect;
    TOnNotConn OnNotConnected;
    TOnAsyncEvent OnAsyncEvent;
    TOnError OnError;
    TOnActiveConn OnActiveConnection;

private:
    TDialMode FDialMode = dmAsync;
    QStringList FEntries;
    QString FEntry;
    TRasLanguage FLanguage;
    QString FServerIP;
    QString FClientIP;
    QStringList FDUNA;
    QString FDUNA_Key;
    DWORD FBytesXmit = 0;
    DWORD FBytesRecv = 0;
    DWORD FConnectionSpeed = 0;

    // First identifier of the chosen language's state texts: (ordinal of Language + 1) * 1000.
    int StringBase;
};
