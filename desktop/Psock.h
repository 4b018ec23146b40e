#pragma once

#include "base/Exceptions.h"
#include "platform/Windows.h"
#include "platform/Winsock.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

ZELTIX_DECLARE_EXCEPTION(ESockError, Exception);

// A timer on a hidden window of its own (class "TmrWindowClass"), for the socket component's
// time-outs.
class TThreadTimer : public QObject {
public:
    explicit TThreadTimer(QObject* owner);
    ~TThreadTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    UINT Interval() const { return FInterval; }
    void SetInterval(UINT value);
    HWND WindowHandle() const { return FWindowHandle.get(); }

    std::function<void(QObject* sender)> OnTimer;

private:
    void WndProc(TMessage& message);
    void UpdateTimer();

    bool FEnabled = true;
    UINT FInterval = 1000;
    std::unique_ptr<std::remove_pointer_t<HWND>, void (*)(HWND)> FWindowHandle;
};

// The socket component. The program uses it for one thing: the machine's IP address for the
// connection log. Constructing the first instance starts the socket layer, destroying the last
// one stops it.
class TPowersock : public QObject {
public:
    using TStatusEvent = std::function<void(QObject* sender, const QString& status)>;

    // Message numbers of the hidden window for socket events and host look-ups.
    static constexpr UINT WM_ASYNCSELECT = WM_USER + 101;
    static constexpr UINT WM_ASYNCLOOKUP = WM_USER + 102;
    static constexpr WORD NoSocket = 0xFFFF;

    // Fails with ESockError when no usable stream socket can be made.
    explicit TPowersock(QObject* owner);
    // As above, with the report level and status handler already in place, as a descendant that
    // sets them before the steps of construction would have them.
    TPowersock(QObject* owner, int reportLevel, TStatusEvent onStatus);
    ~TPowersock() override;

    // The first address of the local host, as four decimal numbers joined by dots; "0.0.0.0"
    // when the local host name has no address.
    QString QueryLocalAddress();

    int Port() const { return FPort; }
    void SetPort(int value) { FPort = value; }
    int ReportLevel() const { return FReportLevel; }
    void SetReportLevel(int value) { FReportLevel = value; }
    int TimeOut() const { return FTimeOut; }
    // The last status text reported at or below ReportLevel.
    const QString& Status() const { return FStatus; }
    // The socket layer's description, filled by the instance that started it.
    const QStringList& WinsockInfo() const { return FWinsockInfo; }
    WORD SocketHandle() const { return FSocket; }
    HWND WindowHandle() const { return FWindowHandle.get(); }
    const TThreadTimer* Timer() const { return FTimer.get(); }

    // The number of live instances in the process.
    static int InstanceCount();

    TStatusEvent OnStatus;

private:
    void ReportStatus(const QString& text, int level);
    void StartWinsock();
    void WndProc(TMessage& message);
    void TimerOut(QObject* sender);

    int FPort = 0;
    int FReportLevel = 0;
    int FTimeOut = 0;
    QString FStatus;
    std::unique_ptr<std::remove_pointer_t<HWND>, void (*)(HWND)> FWindowHandle;
    std::vector<char> FHostEntryBuffer;
    std::unique_ptr<TThreadTimer> FTimer;
    QStringList FWinsockInfo;
    Winsock::WSADATA FWSAData{};
    WORD FSocket = NoSocket;
};
