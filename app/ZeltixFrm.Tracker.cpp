// The session tracker: turns the watcher's once-a-second reports into timed, priced sessions.

#include "app/ZeltixFrm.h"

#include "app/HistoryModel.h"
#include "app/TariffModel.h"

#include "base/Ansi.h"
#include "base/ScopeGuard.h"
#include "base/SysUtils.h"
#include "desktop/Psock.h"
#include "desktop/abfComponents.h"
#include "dialup/DialUp.h"
#include "platform/Kernel.h"
#include "platform/Timer.h"
#include "reports/ProtokollFrm.h"

#include <QLabel>

#include <algorithm>
#include <utility>

void TForm1::OnCheckTimerTimer()
{
    const uint64_t poll = ++FPollSerial;
    Session.Seen = false;
    int count = 0;
    int result = 0;
    {
        // The reports that arrive now are this poll's; afterwards an outer poll's again, however
        // the listing ends.
        const TRestore reporting(FReportingPoll, poll);
        result = DialUp1->GetActiveConnections(count);
    }
    // A session whose connection left the list without a disconnected report (one hung up
    // elsewhere, or refused after its entry was unticked) ends here as if it had been reported.
    // One still listed whose state could not be read this time goes on. A poll that a newer one
    // overtook leaves that to the newer one.
    const std::vector<int>& unread = DialUp1->UnreadConnections();
    if (poll == FPollSerial && result == 0 && Online && !Session.Seen &&
        std::find(unread.begin(), unread.end(), Session.Handle) == unread.end())
        EndSession(Session.Entry);
    Label1->setText(Online ? QStringLiteral("Online") : QStringLiteral("Offline"));
    RetryPendingSaves();
}

bool TForm1::ReportIsCurrent() const
{
    return FReportingPoll == FPollSerial;
}

void TForm1::DialUp1ActiveConnection(QObject*, int Handle, TRasConnStatusA& Status, const QString&,
    const char* EntryName, const char* DeviceType, const char* DeviceName)
{
    // Reports listed before a nested poll ran are out of date: the nested poll has acted on
    // every connection as it is now.
    if (!ReportIsCurrent())
        return;
    const int state = Status.rasconnstate;
    const QString entry = AnsiToString(EntryName);
    // Reports of other connections never start, time or end the running session.
    const bool sessionConnection = !Online || Handle == Session.Handle;
    if (Online && Handle == Session.Handle)
        Session.Seen = true;

    SetStatusText(entry + QStringLiteral(": ") + DialUp1->GetStatusString(state, 0));
    if (state == RASCS_Disconnected && sessionConnection) {
        EndSession(entry);
        // The limit message may have been open meanwhile, with polls running inside it.
        if (!ReportIsCurrent())
            return;
    }
    // Only a running session's connected reports keep the session clock going.
    if (sessionConnection)
        Timer1->SetEnabled(Online && state == RASCS_Connected);

    if (!Tariffs->Ticked(TariffRowFor(entry))) {
        abfTrayIcon1->ShowApplication();
        int result = 0;
        if (std::find(FHangingUp.begin(), FHangingUp.end(), Handle) == FHangingUp.end()) {
            FHangingUp.push_back(Handle);
            const TScopeExit done(
                [this, Handle] { FHangingUp.erase(std::find(FHangingUp.begin(), FHangingUp.end(), Handle)); });
            result = DialUp1->HangUp(Handle);
        }
        // A link the program may not end is still up: the user is told so, and the reason is
        // recorded once per connection.
        if (result != 0) {
            RecordRefusedHangUp(Handle, entry, result);
            SetStatusText(FormatLongTime(GetLocalTime()) + QStringLiteral(" - Verbindung zu ") + entry +
                QStringLiteral(" konnte nicht getrennt werden!"));
            return;
        }
        SetStatusText(FormatLongTime(GetLocalTime()) + QStringLiteral(" - Verbindungsversuch zu ") + entry +
            QStringLiteral(" abgebrochen!"));
        return;
    }

    if (!Online) {
        // Restarted on every report until the session starts, so the byte counts begin when
        // the connection is first seen connected.
        DialUp1->SwitchStatistics(true, true, Handle, DeviceName);
        if (state == RASCS_Connected)
            StartSession(Handle, entry, AnsiToString(DeviceType), AnsiToString(DeviceName));
    }
}

void TForm1::RecordRefusedHangUp(int handle, const QString& entry, int result)
{
    if (std::find(FRefusedHangUps.begin(), FRefusedHangUps.end(), handle) != FRefusedHangUps.end())
        return;
    FRefusedHangUps.push_back(handle);
    AppendErrorLog(QStringLiteral("The connection to %1 could not be hung up: %2 (error %3)")
                       .arg(entry, DialUp1->GetHangUpErrorText(result))
                       .arg(result));
}

void TForm1::StartSession(int handle, const QString& entry, const QString& deviceType, const QString& deviceName)
{
    Session = TSession{};
    Online = true;
    Label1->setText(QStringLiteral("Online"));
    SessionStartTick = GetTickCount();
    Session.Handle = handle;
    Session.Entry = entry;
    Session.Id = ++FSessionsStarted;
    Session.Seen = true;
    Session.ChargedMinutes = 1;

    const int tariff = FindTariffRow(entry);
    const QString tariffText = tariff >= 0 ? Tariffs->TariffText(tariff) : QString();
    History->Insert(0, FormatTimeStamp(GetLocalTime()), entry, QStringLiteral("00:00:00"), tariffText);
    History->MarkSession(0, Session.Id);
    if (tariff >= 0)
        SessionCost += Tariffs->TariffCents(tariff);
    SessionRow = 0;
    History->SetRunningSession(Session.Id);
    // A history that cannot be saved now does not keep the session from being timed and logged.
    TrySave(sfHistory, [this] { SaveHistory(); });
    Timer1->SetEnabled(true);
    AppendLogLine(QStringLiteral("[") + FormatTimeStamp(GetLocalTime()) + QStringLiteral("] Verbindung zu ") + entry +
        QStringLiteral(" aufgenommen!"));
    AppendLogLine(QStringLiteral("  DeviceName: ") + deviceName);
    AppendLogLine(QStringLiteral("  DeviceType: ") + deviceType);
    AppendLogLine(QStringLiteral("  IP Address: ") + Powersock1->QueryLocalAddress());
    // The start block reaches the disk now, so a crash during the session keeps it.
    TrySave(sfLog, [this] { SaveLog(); });
}

void TForm1::AppendLogLine(const QString& line)
{
    Form3->AppendLine(line);
}

void TForm1::EndSession(const QString& entry)
{
    Timer1->SetEnabled(false);
    if (Online) {
        AppendLogLine(QStringLiteral("[") + FormatTimeStamp(GetLocalTime()) + QStringLiteral("] Verbindung zu ") +
            entry + QStringLiteral(" getrennt!"));
        AppendLogLine(QString());
        // The session ends here whether or not its files can be written now: a failed save is
        // tried again later, never by ending the session a second time.
        TrySave(sfHistory, [this] { SaveHistory(); });
        TrySave(sfLog, [this] { SaveLog(); });
    }
    Session = TSession{};
    // The session's row now counts among the finished ones.
    History->SetRunningSession(0);
    Label1->setText(QStringLiteral("Offline"));
    UpdateCostTotals(false);
    UpdateOnlineTimeTotal();
}

int TForm1::SessionIndex() const
{
    return History->FindSession(Session.Id, SessionRow);
}

void TForm1::Timer1Timer()
{
    // The clock only runs for a session; a stray tick must not touch any row.
    if (!Online) {
        Timer1->SetEnabled(false);
        return;
    }
    const int64_t session = Session.Id;
    if (DialUp1->GetStatistics()) {
        Label2->setText(QStringLiteral("Gesendete Bytes: ") + QString::number(DialUp1->BytesXmit()));
        Label3->setText(QStringLiteral("Empfangene Bytes: ") + QString::number(DialUp1->BytesRecv()));
    }
    Label4->setText(
        QStringLiteral("Connectionspeed: ") + QString::number(DialUp1->ConnectionSpeed()) + QStringLiteral(" bps"));
    // Reading the statistics lets pending work run: the session may have ended meanwhile.
    if (!Online || Session.Id != session)
        return;
    // Whole-second boundaries of the tick counter since the start, counted on the unwrapped
    // count so that a session across the counter's 49.7-day wrap keeps its time.
    const uint64_t start = SessionStartTick;
    const uint64_t now = start + static_cast<DWORD>(GetTickCount() - SessionStartTick);
    const auto elapsed = static_cast<int32_t>(now / 1000 - start / 1000);
    const int64_t charged = Session.ChargedMinutes;
    const QString duration = AdvanceSessionClock(elapsed);
    // A row that went away does not stop the session.
    if (const int row = SessionIndex(); row >= 0)
        History->SetText(row, hcDuration, duration);
    // Each minute charged reaches the disk with the running row, so a crash loses at most the
    // minute under way.
    if (Session.ChargedMinutes != charged)
        TrySave(sfHistory, [this] { SaveHistory(); });
    UpdateCostTotals(false);
}

QString TForm1::AdvanceSessionClock(int32_t s)
{
    const int32_t hours = s / 3600;
    const int32_t minutes = (s - 3600 * hours) / 60;
    const int32_t seconds = s - (3600 * hours + 60 * minutes);
    const QString text = FormatFloat(QStringLiteral("00"), hours) + QLatin1Char(':') +
        FormatFloat(QStringLiteral("00"), minutes) + QLatin1Char(':') + FormatFloat(QStringLiteral("00"), seconds);
    // Every minute begun is charged once: a tick that came late charges the minutes it skipped,
    // a second tick in the same second charges nothing more.
    const int64_t begun = static_cast<int64_t>(s) / 60 + 1;
    while (Session.ChargedMinutes < begun) {
        ++Session.ChargedMinutes;
        ChargeMinute();
    }
    return text;
}

void TForm1::ChargeMinute()
{
    // A minute that cannot be charged (its row or its tariff row is gone) is skipped.
    const int row = SessionIndex();
    if (row < 0)
        return;
    const int tariff = FindTariffRow(History->Text(row, hcEntry));
    if (tariff < 0)
        return;
    SessionCost += Tariffs->TariffCents(tariff);
    History->SetText(row, hcCost, FormatFloat(QStringLiteral("0.00"), SessionCost));
}
