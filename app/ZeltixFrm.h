#pragma once

#include "dialup/RasConnStatus.h"
#include "platform/WinTypes.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Exception;
class TAboutBox;
class TBURunOnStartup;
class TDialUp;
class TForm2;
class TForm3;
class TPowersock;
class TRarBar;
class TSpinEdit;
class TabfTrayIcon;
class QAction;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QSplitter;
class THistoryModel;
class TTariffModel;
class TTimer;
class QTreeView;

// The main window: layout and menus, start-up and shutdown, and the cost accounting of the
// sessions. Its handlers are split over files by concern (ZeltixFrm.Tracker.cpp, ...).
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window's contents in their order of creation, then runs FormCreate.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Components, named as in the window's layout.
    QLabel* StatusBar1Panel = nullptr; // the status bar's one panel
    QWidget* MainPanel = nullptr;
    QSplitter* Splitter1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QTreeView* ListView2 = nullptr;  // tariff list
    TTariffModel* Tariffs = nullptr; // what the tariff list shows
    QLabel* Label5 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QTreeView* ListView1 = nullptr;   // history list
    THistoryModel* History = nullptr; // what the history list shows
    QGroupBox* GroupBox3 = nullptr;
    QLabel* Label8 = nullptr;
    TSpinEdit* SpinEdit1 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label11 = nullptr;
    TRarBar* RarBar1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr; // Online / Offline
    QLabel* Label2 = nullptr; // bytes sent
    QLabel* Label3 = nullptr; // bytes received
    QLabel* Label4 = nullptr; // link speed
    QLabel* Label6 = nullptr; // total cost
    QLabel* Label7 = nullptr; // total online time
    QLabel* Image1 = nullptr;
    TDialUp* DialUp1 = nullptr;
    TTimer* Timer1 = nullptr;
    TTimer* OnCheckTimer = nullptr;
    TabfTrayIcon* abfTrayIcon1 = nullptr;
    TBURunOnStartup* BURunOnStartup1 = nullptr;
    TPowersock* Powersock1 = nullptr;
    QMenu* PopupMenu1 = nullptr; // history list: "Leeren"
    QMenu* PopupMenu2 = nullptr; // tray icon: "Show", "Close"
    QMenu* Einstellungen1 = nullptr;
    QAction* IndieTrayminimieren1 = nullptr;
    QAction* Berenden1 = nullptr;
    QAction* Statistik1 = nullptr;
    QAction* Verbindungsprotokoll1 = nullptr;
    QAction* autoclear1 = nullptr;
    QAction* AutomatischbeimStartvonWindowsausfhren1 = nullptr;
    QAction* About1 = nullptr;
    QAction* Leeren1 = nullptr;
    QAction* Show1 = nullptr;
    QAction* Close1 = nullptr;

    QString StatusText() const;
    void SetStatusText(const QString& text);

    // The secondary windows, made once after the main window and destroyed with it.
    std::unique_ptr<TForm2> Form2;
    std::unique_ptr<TForm3> Form3;
    std::unique_ptr<TAboutBox> AboutBox;

    // Start-up and shutdown.
    void FormCreate();
    void FormClose();
    // Writes every file as the shutdown does, and the program goes on: for a desktop session
    // that asks its programs to save, or a display that is about to take the program with it.
    void CommitData();
    void HandleAppException(QObject* Sender, const Exception& E);
    QString ProgramDir() const;

    // Menu commands.
    void IndieTrayminimieren1Click();
    void Berenden1Click();
    void Einstellungen1Click();
    void AutomatischbeimStartvonWindowsausfhren1Click();
    void abfTrayIcon1Click();
    void Statistik1Click();
    void Verbindungsprotokoll1Click();
    void About1Click();
    void Show1Click();
    void Close1Click();

    // Session tracker.
    void OnCheckTimerTimer();
    void DialUp1ActiveConnection(QObject* Sender, int Handle, TRasConnStatusA& Status, const QString& StatusString,
        const char* EntryName, const char* DeviceType, const char* DeviceName);
    void Timer1Timer();
    // The duration text of s seconds; it also charges every minute begun that is not charged yet.
    QString AdvanceSessionClock(int32_t s);

    // Tariff list.
    void DialUp1EntryGet(QObject* Sender, const char* EntryName);
    void ListView2DblClick();
    void SaveTariffs();
    // The row of the tariff model whose entry name equals the name, letter case aside; -1: none.
    int FindTariffRow(const QString& name) const;

    // History list.
    void LoadHistory();
    void SaveHistory();
    void UpdateOnlineTimeTotal();
    // Asks, then deletes all rows; true when they were deleted. The start-up's monthly clear is
    // this same command.
    bool Leeren1Click();
    void ListView1KeyDown(QKeyEvent* Key);

    // Monthly limit.
    void SpinEdit1Change();
    void UpdateCostTotals(bool SuppressLimitMessage);
    // The monthly limit in cents (0: none); the gauge shows it as its maximum.
    int32_t Limit() const { return FLimit; }
    void SetLimit(int32_t cents);
    // Set once the limit message has been shown in this run.
    bool LimitWarned = false;
    // The total the "Gesamtkosten" label shows, in cents.
    std::optional<long double> FShownTotalCents;

    // The running session: assigned at its start and put back to none at its end in one step.
    struct TSession {
        bool Online = false;
        DWORD StartTick = 0;
        long double Cost = 0;
        int32_t Row = 0;
        // The connection it belongs to, and its mark on its row.
        int Handle = 0;
        QString Entry;
        int64_t Id = 0;
        // Minutes charged so far: each minute begun is charged once.
        int64_t ChargedMinutes = 0;
        // Whether the newest poll reported its connection.
        bool Seen = false;
    };
    TSession Session;
    // The tracker's state by the names it has in the behaviour.
    bool& Online = Session.Online;
    int32_t& SessionRow = Session.Row;
    long double& SessionCost = Session.Cost;
    DWORD& SessionStartTick = Session.StartTick;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenus();
    // The window's regions, in their order of creation: the tariff box and the history box in
    // the splitter, the limits box beside them, the status panel below.
    void CreateLayout();
    void CreateTariffBox();
    void CreateHistoryBox();
    void CreateLimitsBox();
    void CreateStatusPanel();
    void CreateComponents();
    // The components that come after the menus in the window's order of creation.
    void CreateLateComponents();
    void ReadSettings();
    void WriteSettings();

    void CreateSecondaryWindows();
    void StartSession(int handle, const QString& entry, const QString& deviceType, const QString& deviceName);
    // Ends the running session; entry names the connection in the log's end line.
    void EndSession(const QString& entry);
    // Appends one line to the connection log: the log viewer's lines, written out at shutdown.
    void AppendLogLine(const QString& line);
    // Appends one line to error.log, as the exception handler does.
    void AppendErrorLog(const QString& line);
    // The running session's row: SessionRow when it is still the session's own, otherwise
    // wherever the session's row has gone, or -1 when it was deleted.
    int SessionIndex() const;
    // The entry's tariff row; an entry that came into the phonebook while the program runs
    // gets the row that start-up would have given it.
    int TariffRowFor(const QString& entry);

    bool FClosing = false;
    // The history file could not be read: it is kept aside before it is first overwritten.
    bool FHistoryUnreadable = false;
    // conns.ini or settings.ini exists but could not be read at the start: the run goes on with
    // the defaults, and the file is left as it is rather than replaced by them.
    bool FTariffsUnreadable = false;
    bool FSettingsUnreadable = false;

    // The program's files, each saved at its own occasions.
    enum TStoredFile { sfTariffs, sfHistory, sfSettings, sfLog, sfCount };
    // Runs one file's save. A failure leaves the save pending, so that the next occasion tries it
    // again, and is recorded in error.log once per cause (at shutdown every time); nothing else
    // waits for it. True when the save succeeded.
    bool TrySave(TStoredFile file, const std::function<void()>& save);
    // The save of a file that is written while the program runs.
    void SaveFile(TStoredFile file);
    // Tries the saves that failed again, at most once a minute of the program's time.
    void RetryPendingSaves();
    // Brings Protokol.txt up to the log's lines.
    void SaveLog();
    // Removes the temporary files of saves that never reached their rename (the program was
    // killed while saving): each file holds the last save that completed.
    void RemoveKilledSaves();
    // Reads conns.ini and settings.ini once to tell whether they can be read: a file that
    // exists but cannot be read is recorded and said, and never replaced by the defaults.
    void CheckStoredFilesReadable();
    struct TSaveState {
        bool Pending = false;
        // The failure last recorded; another cause is recorded again.
        QString Recorded;
    };
    std::array<TSaveState, sfCount> FSaves;
    DWORD FLastRetryTick = 0;
    // Records a message in error.log unless it is the one recorded last under the same key.
    void RecordOnce(QString& last, const QString& message);
    QString FLogAsideRecorded;

    // Charges the next minute of the running session at its entry's tariff in force now.
    void ChargeMinute();
    // Whether a report belongs to the newest poll. Polls nest inside the waits of a report (a
    // hang-up, a dialog); once a nested poll has reported the connections afresh, the rest of
    // an outer poll's list is out of date.
    bool ReportIsCurrent() const;
    // Records in error.log, once per connection, that a blocked connection could not be hung up.
    void RecordRefusedHangUp(int handle, const QString& entry, int result);

    // Sessions started in this run: the next one's mark.
    int64_t FSessionsStarted = 0;
    int32_t FLimit = 0;
    // Writes the limit to settings.ini (unless that file could not be read at the start).
    void WriteLimit();

    // A poll can run inside another: a report's hang-up wait and every dialog handle events,
    // the poll timer's among them. The states of that:
    //
    //   poll n starts      FPollSerial = n, FReportingPoll = n, Session.Seen = false
    //     report ...       acted on only while FReportingPoll == FPollSerial
    //       HangUp wait    ->  poll n+1 runs whole inside (FPollSerial = n+1), then
    //                          FReportingPoll is n again: the rest of poll n's list is stale
    //   poll n ends        the session ends for a connection gone only if no newer poll ran
    //
    // FHangingUp holds the connections whose hang-up is waiting, so a nested poll that reports
    // one again does not hang it up a second time.
    uint64_t FPollSerial = 0;
    uint64_t FReportingPoll = 0;
    std::vector<int> FHangingUp;
    // Connections whose refused hang-up has been recorded in error.log.
    std::vector<int> FRefusedHangUps;
};
