// The session tracker: turns the watcher's once-a-second reports into timed, priced sessions.

#include "app/ZeltixFrm.h"

#include "base/Ansi.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "dialup/DialUp.h"
#include "platform/Kernel.h"

#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr int SessionIdRole = Qt::UserRole + 1;

// Enabling a running timer must not restart its interval.
void SetTimerEnabled(QTimer* timer, bool enabled)
{
    if (enabled && !timer->isActive())
        timer->start();
    else if (!enabled && timer->isActive())
        timer->stop();
}

} // namespace

void TForm1::OnCheckTimerTimer()
{
    int count = 0;
    FSessionSeen.push_back(false);
    int result;
    try {
        result = DialUp1->GetActiveConnections(count);
    } catch (...) {
        FSessionSeen.pop_back();
        throw;
    }
    bool seen = FSessionSeen.back();
    FSessionSeen.pop_back();
    // A session whose connection left the list without a disconnected report (one hung up
    // elsewhere, or refused after its entry was unticked) ends here as if it had been reported.
    if (result == 0 && Online && !seen)
        EndSession(FSessionEntry);
    Label1->setText(Online ? QStringLiteral("Online") : QStringLiteral("Offline"));
}

void TForm1::DialUp1ActiveConnection(QObject*, int Handle, TRasConnStatusA& Status, const QString&,
                                     const char* EntryName, const char* DeviceType, const char* DeviceName)
{
    const int state = Status.rasconnstate;
    const QString entry = AnsiToString(EntryName);
    // Reports of other connections never start, time or end the running session.
    const bool sessionConnection = !Online || Handle == FSessionHandle;
    if (Online && Handle == FSessionHandle)
        FSessionSeen.assign(FSessionSeen.size(), true);

    SetStatusText(entry + QStringLiteral(": ") + DialUp1->GetStatusString(state, 0));
    if (state == RASCS_Disconnected && sessionConnection)
        EndSession(entry);
    // Only a running session's connected reports keep the session clock going.
    if (sessionConnection)
        SetTimerEnabled(Timer1, Online && state == RASCS_Connected);

    QTreeWidgetItem* tariff = TariffRowFor(entry);
    if (tariff->checkState(0) != Qt::Checked) {
        abfTrayIcon1->ShowApplication();
        DialUp1->HangUp(Handle);
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

void TForm1::StartSession(int handle, const QString& entry, const QString& deviceType, const QString& deviceName)
{
    SessionCost = 0;
    Online = true;
    Label1->setText(QStringLiteral("Online"));
    SessionStartTick = GetTickCount();
    FSessionHandle = handle;
    FSessionEntry = entry;
    FSessionSeen.assign(FSessionSeen.size(), true);

    QTreeWidgetItem* tariff = FindTariffRow(entry);
    const QString tariffText = tariff ? tariff->text(1) : QString();
    auto* row = new QTreeWidgetItem(
        QStringList{FormatTimeStamp(GetLocalTime()), entry, QStringLiteral("00:00:00"), tariffText});
    row->setData(0, SessionIdRole, QVariant::fromValue<qlonglong>(++FSessionId));
    ListView1->insertTopLevelItem(0, row);
    if (tariff)
        SessionCost += StrToFloatDef(tariffText, 0);
    SessionRow = ListView1->indexOfTopLevelItem(row);
    SaveHistory();
    SetTimerEnabled(Timer1, true);
    AppendLogLine(QStringLiteral("[") + FormatTimeStamp(GetLocalTime()) + QStringLiteral("] Verbindung zu ") + entry +
                  QStringLiteral(" aufgenommen!"));
    AppendLogLine(QStringLiteral("  DeviceName: ") + deviceName);
    AppendLogLine(QStringLiteral("  DeviceType: ") + deviceType);
    AppendLogLine(QStringLiteral("  IP Address: ") + Powersock1->QueryLocalAddress());
}

void TForm1::AppendLogLine(const QString& line)
{
    Form3->AppendLine(line);
}

void TForm1::EndSession(const QString& entry)
{
    SetTimerEnabled(Timer1, false);
    if (Online) {
        AppendLogLine(QStringLiteral("[") + FormatTimeStamp(GetLocalTime()) + QStringLiteral("] Verbindung zu ") + entry +
                      QStringLiteral(" getrennt!"));
        AppendLogLine(QString());
        SaveHistory();
    }
    Online = false;
    FSessionHandle = 0;
    FSessionEntry.clear();
    Label1->setText(QStringLiteral("Offline"));
    UpdateCostTotals(false);
    UpdateOnlineTimeTotal();
}

QTreeWidgetItem* TForm1::SessionItem() const
{
    auto isSessionRow = [this](QTreeWidgetItem* item) {
        return item && item->data(0, SessionIdRole).toLongLong() == FSessionId;
    };
    if (QTreeWidgetItem* item = ListView1->topLevelItem(SessionRow); isSessionRow(item))
        return item;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        if (isSessionRow(ListView1->topLevelItem(i)))
            return ListView1->topLevelItem(i);
    return nullptr;
}

void TForm1::Timer1Timer()
{
    // The clock only runs for a session; a stray tick must not touch any row.
    if (!Online) {
        SetTimerEnabled(Timer1, false);
        return;
    }
    if (DialUp1->GetStatistics()) {
        Label2->setText(QStringLiteral("Gesendete Bytes: ") + QString::number(DialUp1->BytesXmit()));
        Label3->setText(QStringLiteral("Empfangene Bytes: ") + QString::number(DialUp1->BytesRecv()));
    }
    Label4->setText(QStringLiteral("Connectionspeed: ") + QString::number(DialUp1->ConnectionSpeed()) +
                    QStringLiteral(" bps"));
    try {
        // Whole-second boundaries of the tick counter since the start, counted on the unwrapped
        // count so that a session across the counter's 49.7-day wrap keeps its time.
        const uint64_t start = SessionStartTick;
        const uint64_t now = start + static_cast<DWORD>(GetTickCount() - SessionStartTick);
        const auto elapsed = static_cast<int32_t>(now / 1000 - start / 1000);
        QTreeWidgetItem* row = SessionItem();
        if (!row)
            throw Exception(QStringLiteral("The session's row is gone"));
        row->setText(2, AdvanceSessionClock(elapsed));
    } catch (...) {
        // A row that went away must not stop the session.
    }
    UpdateCostTotals(false);
}

QString TForm1::AdvanceSessionClock(int32_t s)
{
    const int32_t hours = s / 3600;
    const int32_t minutes = (s - 3600 * hours) / 60;
    const int32_t seconds = s - (3600 * hours + 60 * minutes);
    const QString text = FormatFloat(QStringLiteral("00"), hours) + QLatin1Char(':') +
                         FormatFloat(QStringLiteral("00"), minutes) + QLatin1Char(':') +
                         FormatFloat(QStringLiteral("00"), seconds);
    if (seconds == 0) {
        try {
            QTreeWidgetItem* row = SessionItem();
            if (!row)
                throw Exception(QStringLiteral("The session's row is gone"));
            QTreeWidgetItem* tariff = FindTariffRow(row->text(1));
            if (!tariff)
                throw Exception(QStringLiteral("No tariff for ") + row->text(1));
            SessionCost += StrToFloatDef(tariff->text(1), 0);
            row->setText(3, FormatFloat(QStringLiteral("0.00"), SessionCost));
        } catch (...) {
            // A minute that cannot be charged is skipped; the session goes on.
        }
    }
    return text;
}
