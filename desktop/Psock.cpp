#include "desktop/Psock.h"

#include "base/Ansi.h"

namespace {

// Process-wide: the socket layer runs while at least one component lives.
int InstanceCountValue = 0;

constexpr int StatusLevel = 8;
constexpr UINT_PTR TimerId = 1;

QString VersionText(WORD version)
{
    return QStringLiteral("%1.%2").arg(version & 0xFF).arg(version >> 8);
}

// Takes back the count of a component whose construction failed, stopping the layer when it
// was the only one.
void TakeBackInstance()
{
    if (--InstanceCountValue == 0)
        Winsock::WSACleanup();
}

} // namespace

TThreadTimer::TThreadTimer(QObject* owner)
    : QObject(owner)
    , FWindowHandle(AllocateHWnd([this](TMessage& message) { WndProc(message); }, "TmrWindowClass"), DeallocateHWnd)
{
    UpdateTimer();
}

TThreadTimer::~TThreadTimer()
{
    FEnabled = false;
    UpdateTimer();
}

void TThreadTimer::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(UINT value)
{
    if (value == FInterval)
        return;
    FInterval = value;
    UpdateTimer();
}

void TThreadTimer::UpdateTimer()
{
    KillTimer(WindowHandle(), TimerId);
    if (FEnabled && FInterval != 0)
        SetTimer(WindowHandle(), TimerId, FInterval, nullptr);
}

void TThreadTimer::WndProc(TMessage& message)
{
    if (message.Msg == WM_TIMER && OnTimer)
        OnTimer(this);
    message.Result = 0;
}

TPowersock::TPowersock(QObject* owner)
    : TPowersock(owner, 0, {})
{
}

TPowersock::TPowersock(QObject* owner, int reportLevel, TStatusEvent onStatus)
    : QObject(owner)
    , OnStatus(std::move(onStatus))
    , FReportLevel(reportLevel)
    , FWindowHandle(nullptr, DeallocateHWnd)
{
    ReportStatus(QStringLiteral("Create"), StatusLevel);
    FWindowHandle.reset(AllocateHWnd([this](TMessage& message) { WndProc(message); }, "PsockWindowClass"));
    FHostEntryBuffer.assign(1024, 0);
    FTimer = std::make_unique<TThreadTimer>(nullptr);
    FTimer->SetEnabled(false);
    FTimer->SetInterval(1000);
    FTimer->OnTimer = [this](QObject* sender) { TimerOut(sender); };
    FTimeOut = 0;
    StartWinsock();
}

TPowersock::~TPowersock()
{
    ReportStatus(QStringLiteral("Destroy"), StatusLevel);
    // No operation of this program ever waits on the socket, so there is nothing to cancel.
    FWinsockInfo.clear();
    FTimer.reset();
    FHostEntryBuffer = {};
    FWindowHandle.reset();
    if (FSocket != NoSocket) {
        ReportStatus(QStringLiteral("Request Close Socket"), StatusLevel);
        Winsock::closesocket(FSocket);
        FSocket = NoSocket;
    }
    if (--InstanceCountValue == 0)
        Winsock::WSACleanup();
}

int TPowersock::InstanceCount()
{
    return InstanceCountValue;
}

void TPowersock::StartWinsock()
{
    ReportStatus(QStringLiteral("Initializing Winsock"), StatusLevel);
    if (++InstanceCountValue == 1) {
        // A failed start is not examined here: it shows up as a socket that cannot be made.
        Winsock::WSAStartup(0x0101, &FWSAData);
        FWinsockInfo << QStringLiteral("Version= ") + VersionText(FWSAData.wVersion)
                     << QStringLiteral("High Version= ") + VersionText(FWSAData.wHighVersion)
                     << QStringLiteral("Description= ") + AnsiToString(FWSAData.szDescription)
                     << QStringLiteral("System= ") + AnsiToString(FWSAData.szSystemStatus)
                     << QStringLiteral("Max Sockets= ") + QString::number(FWSAData.iMaxSockets)
                     << QStringLiteral("Max Udp pack size= ") + QString::number(FWSAData.iMaxUdpDg);
    }
    bool usable = false;
    try {
        Winsock::SOCKET handle = Winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        // The handle is kept in 16 bits with 0xFFFF meaning none, so a socket outside that
        // range is unusable; one that was made anyway is closed rather than left open.
        if (handle >= NoSocket) {
            if (handle != Winsock::INVALID_SOCKET)
                Winsock::closesocket(handle);
        } else {
            FSocket = static_cast<WORD>(handle);
            Winsock::linger lingering{1, 0};
            Winsock::setsockopt(
                FSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lingering), sizeof(lingering));
            Winsock::WSAAsyncSelect(FSocket, WindowHandle(), WM_ASYNCSELECT,
                Winsock::FD_READ | Winsock::FD_OOB | Winsock::FD_ACCEPT | Winsock::FD_CONNECT | Winsock::FD_CLOSE);
            usable = true;
        }
    } catch (...) {
        usable = false;
    }
    if (!usable) {
        TakeBackInstance();
        throw ESockError(QStringLiteral("Initializaton of windows sockets failed"));
    }
}

QString TPowersock::QueryLocalAddress()
{
    ReportStatus(QStringLiteral("Getting Local IP"), StatusLevel);
    std::vector<char> buffer(200, 0);
    // A failing gethostname leaves the buffer empty, which looks up the empty name.
    Winsock::gethostname(buffer.data(), static_cast<int>(buffer.size()));
    Winsock::hostent* host = Winsock::gethostbyname(buffer.data());
    if (!host || host->h_length < 4 || !host->h_addr_list || !host->h_addr_list[0])
        return QStringLiteral("0.0.0.0");
    const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[0]);
    return QString::asprintf("%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
}

void TPowersock::ReportStatus(const QString& text, int level)
{
    if (FReportLevel < level)
        return;
    FStatus = text;
    if (OnStatus)
        OnStatus(this, text);
}

void TPowersock::WndProc(TMessage& message)
{
    // Socket events and host look-ups would arrive here; the program never connects or looks
    // a host up asynchronously, so they need no answer.
    message.Result = 0;
}

void TPowersock::TimerOut(QObject*)
{
    // Only a waiting operation is timed; none ever waits here.
    FTimer->SetEnabled(false);
}
