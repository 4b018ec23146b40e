#include "desktop/Psock.h"

#include "platform/Seams.h"
#include "platform/Winsock.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/SeamScope.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Address = std::array<uint8_t, 4>;

class PsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The socket layer as at program start, with nothing recorded.
        *Sockets = {};
        Seams->Sockets.HostName = "zeltix-host";
        Seams->Sockets.LocalAddresses = {{192, 168, 0, 1}};
    }
    void TearDown() override
    {
        // Windows of destroyed components go with the next turn of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TPlatformSeamScope Seams;
    TSeamScope<Winsock::TWinsockState> Sockets{Winsock::WinsockState()};
};

std::string ClassNameOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

TEST_F(PsockTest, ConstructionStartsTheLayerAndPreparesOneLingeringSocket)
{
    auto sock = std::make_unique<TPowersock>(nullptr);
    EXPECT_EQ(TPowersock::InstanceCount(), 1);
    EXPECT_EQ(Winsock::WinsockState().Calls,
        (std::vector<std::string>{
            "WSAStartup(1.1)", "socket(2,1,6)", "setsockopt(SO_LINGER,1,0,4)", "WSAAsyncSelect(1125,61)"}));
    EXPECT_NE(sock->SocketHandle(), TPowersock::NoSocket);
    std::optional<Winsock::TAsyncSelection> selection = Winsock::AsyncSelectionOf(sock->SocketHandle());
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->Window, sock->WindowHandle());

    EXPECT_EQ(ClassNameOf(sock->WindowHandle()), "PsockWindowClass");
    ASSERT_NE(sock->Timer(), nullptr);
    EXPECT_EQ(ClassNameOf(sock->Timer()->WindowHandle()), "TmrWindowClass");
    EXPECT_EQ(sock->Timer()->Interval(), 1000u);
    EXPECT_FALSE(sock->Timer()->Enabled());
    EXPECT_EQ(sock->Port(), 0);
    EXPECT_EQ(sock->ReportLevel(), 0);
    EXPECT_EQ(sock->TimeOut(), 0);

    const QStringList& info = sock->WinsockInfo();
    ASSERT_EQ(info.size(), 6);
    EXPECT_EQ(info[0], "Version= 1.1");
    EXPECT_EQ(info[1], "High Version= 2.2");
    EXPECT_EQ(info[2], "Description= WinSock 2.0");
    EXPECT_EQ(info[3], "System= Running");
    EXPECT_EQ(info[4], "Max Sockets= 32767");
    EXPECT_EQ(info[5], "Max Udp pack size= 65467");

    HWND window = sock->WindowHandle();
    HWND timerWindow = sock->Timer()->WindowHandle();
    sock.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(timerWindow));
    std::vector<std::string> calls = Winsock::WinsockState().Calls;
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[4], "closesocket()");
    EXPECT_EQ(calls[5], "WSACleanup()");
    EXPECT_EQ(TPowersock::InstanceCount(), 0);
}

TEST_F(PsockTest, TwoInstancesStartAndStopTheLayerOnce)
{
    QObject owner;
    auto first = std::make_unique<TPowersock>(nullptr);
    auto* second = new TPowersock(&owner);
    EXPECT_EQ(TPowersock::InstanceCount(), 2);
    EXPECT_EQ(Winsock::WinsockState().StartupCalls, 1);
    EXPECT_NE(first->SocketHandle(), second->SocketHandle());
    // Only the instance that started the layer describes it.
    EXPECT_EQ(first->WinsockInfo().size(), 6);
    EXPECT_TRUE(second->WinsockInfo().isEmpty());

    first.reset();
    EXPECT_EQ(TPowersock::InstanceCount(), 1);
    EXPECT_EQ(Winsock::WinsockState().CleanupCalls, 0);
    // The owner destroys its component, and with the last one the layer stops.
    delete owner.children().value(0);
    EXPECT_EQ(TPowersock::InstanceCount(), 0);
    EXPECT_EQ(Winsock::WinsockState().StartupCalls, 1);
    EXPECT_EQ(Winsock::WinsockState().CleanupCalls, 1);
}

struct TAddressCase {
    std::vector<Address> Addresses;
    const char* Text;
};

TEST_F(PsockTest, LocalAddressIsTheFirstAddressInDottedDecimal)
{
    const TAddressCase cases[] = {
        {{{0x0A, 0x00, 0x00, 0x07}}, "10.0.0.7"},
        {{{0xC0, 0xA8, 0x00, 0x01}}, "192.168.0.1"},
        {{{0xFF, 0xFE, 0x80, 0x7F}}, "255.254.128.127"},
        {{{0x00, 0x00, 0x00, 0x00}}, "0.0.0.0"},
        {{{0x0A, 0x00, 0x00, 0x07}, {0xC0, 0xA8, 0x00, 0x01}, {127, 0, 0, 1}}, "10.0.0.7"},
    };
    TPowersock sock(nullptr);
    for (const TAddressCase& c : cases) {
        SCOPED_TRACE(c.Text);
        Seams->Sockets.LocalAddresses = c.Addresses;
        EXPECT_EQ(sock.QueryLocalAddress(), QString::fromLatin1(c.Text));
        EXPECT_EQ(Winsock::WinsockState().LastLookedUp, "zeltix-host");
    }
}

TEST_F(PsockTest, NoAddressForTheLocalNameGivesZeros)
{
    TPowersock sock(nullptr);
    Seams->Sockets.LocalAddresses = std::vector<Address>{};
    EXPECT_EQ(sock.QueryLocalAddress(), "0.0.0.0");
}

TEST_F(PsockTest, HostNameOf199CharactersIsLookedUpWhole)
{
    TPowersock sock(nullptr);
    std::string longName(199, 'h');
    longName.back() = 'Z';
    Seams->Sockets.HostName = longName;
    Seams->Sockets.LocalAddresses = {{10, 0, 0, 7}};
    EXPECT_EQ(sock.QueryLocalAddress(), "10.0.0.7");
    EXPECT_EQ(Winsock::WinsockState().LastLookedUp, longName);

    // One character more does not fit the 200 bytes: the empty buffer is looked up, which the
    // layer answers for the local host as well.
    Seams->Sockets.HostName = longName + "x";
    EXPECT_EQ(sock.QueryLocalAddress(), "10.0.0.7");
    EXPECT_EQ(Winsock::WinsockState().LastLookedUp, "");
}

TEST_F(PsockTest, ASocketThatCannotBeMadeFailsConstructionAndTakesTheCountBack)
{
    Seams->Sockets.SocketHandle = Winsock::INVALID_SOCKET;
    try {
        TPowersock sock(nullptr);
        FAIL() << "construction succeeded";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(), "Initializaton of windows sockets failed");
        EXPECT_STREQ(e.ClassName(), "ESockError");
    }
    EXPECT_EQ(TPowersock::InstanceCount(), 0);
    EXPECT_EQ(
        Winsock::WinsockState().Calls, (std::vector<std::string>{"WSAStartup(1.1)", "socket(2,1,6)", "WSACleanup()"}));

    // Beside a working instance the failure takes back only its own count.
    Seams->Sockets.SocketHandle.reset();
    TPowersock working(nullptr);
    Seams->Sockets.SocketHandle = Winsock::INVALID_SOCKET;
    EXPECT_THROW(TPowersock(nullptr), ESockError);
    EXPECT_EQ(TPowersock::InstanceCount(), 1);
    EXPECT_EQ(Winsock::WinsockState().StartupCalls, 2);
    EXPECT_EQ(Winsock::WinsockState().CleanupCalls, 1);
}

TEST_F(PsockTest, HandlesBeyond16BitsAreErrors)
{
    for (Winsock::SOCKET handle : {Winsock::SOCKET{0x10000}, Winsock::SOCKET{0xFFFF}, Winsock::SOCKET{0x7FFFFFFF}}) {
        SCOPED_TRACE(handle);
        *Sockets = {};
        Seams->Sockets.SocketHandle = handle;
        EXPECT_THROW(TPowersock(nullptr), ESockError);
        EXPECT_EQ(TPowersock::InstanceCount(), 0);
        // The handle is given back to the layer rather than kept or forgotten.
        EXPECT_EQ(Winsock::WinsockState().Calls,
            (std::vector<std::string>{"WSAStartup(1.1)", "socket(2,1,6)", "closesocket()", "WSACleanup()"}));
    }
    Seams->Sockets.SocketHandle = 0xFFFE;
    TPowersock sock(nullptr);
    EXPECT_EQ(sock.SocketHandle(), 0xFFFE);
}

// Each report with the number of socket-layer calls made before it, so their order shows.
struct TStatusLog {
    std::vector<std::pair<QString, size_t>> Reports;
    QObject* Sender = nullptr;
    TPowersock::TStatusEvent Handler()
    {
        return [this](QObject* sender, const QString& status) {
            Sender = sender;
            Reports.emplace_back(status, Winsock::WinsockState().Calls.size());
        };
    }
};

TEST_F(PsockTest, StatusReportsComeAtLevelEightBeforeTheirSteps)
{
    TStatusLog log;
    {
        TPowersock sock(nullptr, 8, log.Handler());
        EXPECT_EQ(sock.Status(), "Initializing Winsock");
        sock.QueryLocalAddress();
        EXPECT_EQ(sock.Status(), "Getting Local IP");
        EXPECT_EQ(log.Sender, &sock);
    }
    using Report = std::pair<QString, size_t>;
    // Create and Initializing Winsock come before WSAStartup; Getting Local IP before
    // gethostname; Request Close Socket before closesocket, the last but one call.
    EXPECT_EQ(log.Reports,
        (std::vector<Report>{{"Create", 0}, {"Initializing Winsock", 0}, {"Getting Local IP", 4}, {"Destroy", 6},
            {"Request Close Socket", 6}}));
    EXPECT_EQ(Winsock::WinsockState().Calls[6], "closesocket()");
}

TEST_F(PsockTest, BelowLevelEightNothingIsReportedOrStored)
{
    TStatusLog log;
    {
        TPowersock sock(nullptr, 7, log.Handler());
        sock.QueryLocalAddress();
        EXPECT_TRUE(sock.Status().isEmpty());
        // Raised afterwards, the level lets the next reports through.
        sock.SetReportLevel(8);
        sock.QueryLocalAddress();
        EXPECT_EQ(sock.Status(), "Getting Local IP");
    }
    ASSERT_EQ(log.Reports.size(), 3u);
    EXPECT_EQ(log.Reports[0].first, "Getting Local IP");
    EXPECT_EQ(log.Reports[1].first, "Destroy");
    EXPECT_EQ(log.Reports[2].first, "Request Close Socket");

    TStatusLog silent;
    {
        TPowersock sock(nullptr);
        sock.OnStatus = silent.Handler();
        sock.QueryLocalAddress();
    }
    EXPECT_TRUE(silent.Reports.empty());
}

TEST_F(PsockTest, ThreadTimerTicksOnItsWindowOnlyWhileEnabled)
{
    TThreadTimer timer(nullptr);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    int ticks = 0;
    QEventLoop loop;
    timer.OnTimer = [&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
        timer.SetEnabled(false);
        loop.quit();
    };
    timer.SetInterval(10);
    // A guard against a timer that never fires; the test does not depend on how long it takes.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(10000);
    loop.exec();
    EXPECT_EQ(ticks, 1);
    // Disabled inside its own tick, the timer delivers nothing that was still on its way.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(KillTimer(timer.WindowHandle(), 1));
}

} // namespace
