#pragma once

#include "dialup/RasConnStatus.h"
#include "platform/RasApi.h"
#include "platform/WinTypes.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

enum TDialMode { dmAsync, dmSync };

// Language of the state texts; the ordinal picks the block of string resources.
enum TRasLanguage { ralgGerman, ralgEnglish, ralgCzech, ralgPortuguese, ralgPolish, ralgSlovak };

// EntryName is the entry's whole 257-character buffer, NUL-terminated, valid during the call.
using TOnEntryGet = std::function<void(QObject* Sender, const char* EntryName)>;
using TStandartEv = std::function<void(QObject* Sender)>;
using TOnNotConn = std::function<void(QObject* Sender, int ErrorCode, const QString& ErrorMessage)>;
using TOnAsyncEvent = std::function<void(QObject* Sender, int State, int Error, const QString& MessageText)>;
using TOnError = std::function<void(QObject* Sender, int ErrorCode, const QString& ErrorMessage)>;
// Status and the three strings live in GetActiveConnections' own buffers: a handler copies
// what it keeps.
using TOnActiveConn = std::function<void(QObject* Sender, int Handle, TRasConnStatusA& Status,
    const QString& StatusString, const char* EntryName, const char* DeviceType, const char* DeviceName)>;

struct TStatisticsProbe;

// Watches the system's dial-up networking on request: lists the phonebook entries, reports the
// active connections with their state, hangs connections up and names the states.
class TDialUp : public QObject {
    Q_OBJECT

public:
    explicit TDialUp(QObject* AOwner);
    ~TDialUp() override;

    // Refills Entries and raises OnEntryGet per phonebook entry. 0, or RasEnumEntriesA's error.
    int GetEntries();
    // Raises OnActiveConnection per active connection whose status could be read; the
    // platform writes Count. 0, or RasEnumConnectionsA's error.
    int GetActiveConnections(int& Count);
    // The connections the last GetActiveConnections listed but could not read the status of
    // (for a reason other than the connection being gone): still there, in a state not known.
    const std::vector<int>& UnreadConnections() const { return FUnreadConnections; }
    // Hangs the connection up and, on success, waits until the platform no longer knows its
    // handle, handling events meanwhile; a program that is being closed stops waiting. Returns
    // RasHangUpA's result.
    int HangUp(int Handle);
    // The platform's text for Error when it is not 0, else the state's text in Language.
    QString GetStatusString(int State, int Error);
    // The platform's whole text for a failed hang-up's Error, which may carry the refusing
    // party's own reason after the code's text; the status texts keep their 100 bytes.
    QString GetHangUpErrorText(int Error);

    // Windows 9x: rebuilds DUNA from the statistic objects that have a ConnectSpeed counter, and
    // answers whether both statistics keys could be opened. Elsewhere false, DUNA untouched.
    bool GetDUNA();
    // Remembers the connection, starts (or stops) the adapter's counters on Windows 9x, reads
    // the statistics when On, and resets them so that counting starts now.
    bool SwitchStatistics(bool On, bool RefreshAdapters, int Handle, const char* DeviceName);
    // Updates BytesXmit, BytesRecv and ConnectionSpeed; false when the byte counts could not
    // be read (ConnectionSpeed may still have changed on Windows NT).
    bool GetStatistics();
    // The adapter's current counters become the baseline; the three values start again at 0.
    void ResetStatistics();
    // The rate of the first call on the telephony line named DeviceName (compared with regard
    // to case); false, with Speed 0, when there is no such line, no call or no information.
    bool GetLineSpeed(const char* DeviceName, DWORD& Speed);

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
    std::vector<int> FUnreadConnections;
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

    // The adapter's counters as last read, and when counting began (Windows 9x).
    DWORD RawBytesXmit = 0;
    DWORD RawBytesRecv = 0;
    DWORD BaseBytesXmit = 0;
    DWORD BaseBytesRecv = 0;
    // The connection last given to SwitchStatistics; its device names the telephony line.
    int StatHandle = 0;
    std::string StatDeviceName; // ANSI

    bool StartAdapterCounters(bool On);
    bool GetAdapterStatistics();
    bool GetPerformanceStatistics();

    // Lets tests read the internal counters: they are the watcher's own state, not a replaceable
    // part of the platform, so no seam object holds them.
    friend struct TStatisticsProbe;
};
