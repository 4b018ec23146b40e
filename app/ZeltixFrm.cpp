#include "app/ZeltixFrm.h"

#include "app/Application.h"
#include "app/HistoryModel.h"
#include "app/StoredFiles.h"
#include "app/TariffModel.h"
#include "base/Ansi.h"
#include "base/ExceptionRoute.h"
#include "base/Exceptions.h"
#include "desktop/BURunOnStartup.h"
#include "desktop/DesktopApplication.h"
#include "desktop/Psock.h"
#include "desktop/abfComponents.h"
#include "dialup/DialUp.h"
#include "platform/IniFile.h"
#include "platform/Kernel.h"
#include "platform/ProgramDir.h"
#include "platform/Timer.h"
#include "reports/AboutFrm.h"
#include "reports/HistoryRows.h"
#include "reports/ProtokollFrm.h"
#include "reports/StatFrm.h"
#include "widgets/Graphics.h"
#include "widgets/RarBar.h"
#include "widgets/ReportView.h"
#include "widgets/SpinEdit.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QLabel* PlaceLabel(QWidget* parent, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QLabel* PlacePicture(QWidget* parent, const QString& resource, int x, int y)
{
    auto* image = new QLabel(parent);
    image->setPixmap(QPixmap(resource));
    image->setGeometry(x, y, 32, 32);
    return image;
}

void SetColumnWidths(QTreeView* list, const QList<int>& widths)
{
    for (int i = 0; i < widths.size(); ++i)
        list->setColumnWidth(i, widths[i]);
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Zeltix"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/zeltix32.png")));
    setFont(LayoutFont());
    // The application window that the tray icon hides and shows is this window.
    SetApplicationMainForm(this);

    CreateLayout();
    CreateComponents();
    CreateMenus();
    CreateLateComponents();
    // The components are all in place, as after reading the window's stored layout.
    abfTrayIcon1->Loaded();

    resize(800, 516);
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    // A failing start-up step is recorded like any handler's failure; only a component that
    // cannot be constructed keeps the window from being created.
    RunGuarded(this, [this] { FormCreate(); });
    CreateSecondaryWindows();
    // Polls start only now: a connection seen while the start-up's question is still open would
    // start a session whose log lines have no log viewer to go to.
    OnCheckTimer->SetEnabled(true);
}

void TForm1::CreateSecondaryWindows()
{
    Form2 = std::make_unique<TForm2>(std::make_unique<THistoryModelRows>(History));
    Form3 = std::make_unique<TForm3>();
    AboutBox = std::make_unique<TAboutBox>([this] { return windowTitle(); });
}

TForm1::~TForm1() = default;

void TForm1::CreateLayout()
{
    StatusBar1Panel = new QLabel(this);
    statusBar()->addWidget(StatusBar1Panel, 1);
    statusBar()->setSizeGripEnabled(true);

    MainPanel = new QWidget(this);
    setCentralWidget(MainPanel);
    auto* mainLayout = new QVBoxLayout(MainPanel);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    auto* regions = new QHBoxLayout();
    regions->setContentsMargins(0, 0, 0, 0);
    regions->setSpacing(0);
    mainLayout->addLayout(regions, 1);

    // The tariff box and the history box share the splitter; the limits box keeps its width.
    Splitter1 = new QSplitter(Qt::Horizontal, MainPanel);
    Splitter1->setHandleWidth(6);
    Splitter1->setChildrenCollapsible(false);
    regions->addWidget(Splitter1, 1);
    CreateTariffBox();
    CreateHistoryBox();
    Splitter1->setSizes({228, 800 - 228 - 125 - 6});
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    GroupBox3 = new QGroupBox(QStringLiteral("Limits"), MainPanel);
    regions->addWidget(GroupBox3);
    CreateLimitsBox();

    Panel2 = new QFrame(MainPanel);
    mainLayout->addWidget(Panel2);
    CreateStatusPanel();
}

void TForm1::CreateTariffBox()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Verbindungseinstellungen"), Splitter1);
    auto* box1 = new QVBoxLayout(GroupBox1);
    box1->setContentsMargins(2, 2, 2, 2);
    Tariffs = new TTariffModel(this);
    ListView2 = new TReportView(GroupBox1);
    ListView2->setModel(Tariffs);
    SetColumnWidths(ListView2, {150, 70});
    ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView2->setSelectionBehavior(QAbstractItemView::SelectRows);
    box1->addWidget(ListView2, 1);
    Label5 = new QLabel(QStringLiteral("Klicken Sie doppelt auf eine Verbindung um die Kosten pro Minute zu ändern. "
                                       "Um eine Verbindung zu sperren, klicken Sie den Haken neben der Verbindung ab."),
        GroupBox1);
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignCenter);
    Label5->setFixedHeight(52);
    box1->addWidget(Label5);
    Splitter1->addWidget(GroupBox1);
}

void TForm1::CreateHistoryBox()
{
    GroupBox2 = new QGroupBox(QStringLiteral("Verbindungen"), Splitter1);
    auto* box2 = new QVBoxLayout(GroupBox2);
    box2->setContentsMargins(2, 2, 2, 2);
    ListView1 = new TReportView(GroupBox2);
    History = new THistoryModel({QStringLiteral("Datum"), QStringLiteral("Verbindung"), QStringLiteral("Dauer"),
                                    QStringLiteral("Kosten (Cent)")},
        ListView1);
    ListView1->setModel(History);
    SetColumnWidths(ListView1, {100, 150, 70, 76});
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    box2->addWidget(ListView1, 1);
    Splitter1->addWidget(GroupBox2);
}

void TForm1::CreateLimitsBox()
{
    GroupBox3->setFixedWidth(125);
    Label8 = new QLabel(QStringLiteral("Geben Sie hier ein Monatslimit ein:"), GroupBox3);
    Label8->setWordWrap(true);
    Label8->setGeometry(10, 24, 105, 25);
    SpinEdit1 = new TSpinEdit(GroupBox3);
    SpinEdit1->setGeometry(10, 56, 100, SpinEdit1->sizeHint().height());
    SpinEdit1->SetValue(0);
    Label10 = PlaceLabel(GroupBox3, QStringLiteral("(0 = keine Limitierung)"), 10, 80);
    Image2 = PlacePicture(GroupBox3, QStringLiteral(":/icons/coins32.png"), 10, 107);
    Label11 = PlaceLabel(GroupBox3, QStringLiteral("Verbrauch:"), 50, 112);
    RarBar1 = new TRarBar(GroupBox3);
    RarBar1->setGeometry(32, 160, 65, 217);
    RarBar1->SetColorScheme(rcPurpleBlue);
    // The gauge's percentage is stored as 11-pixel characters, whatever the screen's resolution.
    QFont gaugeFont(QStringLiteral("MS Sans Serif"));
    gaugeFont.setPixelSize(11);
    gaugeFont.setBold(true);
    RarBar1->SetFont(gaugeFont);
    RarBar1->SetFontColor(clPurple);
    RarBar1->SetShowPercentage(true);
    RarBar1->SetMin(0);
    RarBar1->SetMax(0);
    RarBar1->SetProgress(0);
}

void TForm1::CreateStatusPanel()
{
    // A lowered outer and a raised inner bevel, one pixel each: the panel stands as a groove.
    Panel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel2->setLineWidth(1);
    Panel2->setMidLineWidth(0);
    Panel2->setFixedHeight(38);
    Label1 = PlaceLabel(Panel2, QStringLiteral("Offline"), 16, 4);
    QFont bold(QStringLiteral("Arial"));
    bold.setPointSize(8);
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setMinimumWidth(200);
    Label4 = PlaceLabel(Panel2, QStringLiteral("Connectionspeed: 0 bps"), 16, 20);
    Label2 = PlaceLabel(Panel2, QStringLiteral("Gesendete Bytes: 0"), 248, 4);
    Label3 = PlaceLabel(Panel2, QStringLiteral("Empfangene Bytes: 0"), 248, 20);
    Label6 = PlaceLabel(Panel2, QString(), 480, 4);
    Label7 = PlaceLabel(Panel2, QString(), 480, 20);
    for (QLabel* label : {Label4, Label2, Label3, Label6, Label7})
        label->setMinimumWidth(210);
    // The figures that change while a session runs fill their own background with the window's
    // face colour, so a new figure repaints the label alone, not the panel and window beneath
    // it; and they keep their size, so a new text asks the panel for no new layout.
    for (QLabel* label : {Label1, Label2, Label3, Label4}) {
        label->setAutoFillBackground(true);
        label->setFixedSize(label->size());
    }
    Image1 = PlacePicture(Panel2, QStringLiteral(":/icons/connection32.png"), 696, 3);
}

void TForm1::CreateComponents()
{
    SpinEdit1->OnChange = [this](QObject*) { RunGuarded(SpinEdit1, [this] { SpinEdit1Change(); }); };

    DialUp1 = new TDialUp(this);
    DialUp1->SetDialMode(dmAsync);
    DialUp1->SetLanguage(ralgGerman);
    DialUp1->OnEntryGet = [this](QObject* Sender, const char* EntryName) { DialUp1EntryGet(Sender, EntryName); };
    DialUp1->OnActiveConnection = [this](QObject* Sender, int Handle, TRasConnStatusA& Status,
                                      const QString& StatusString, const char* EntryName, const char* DeviceType,
                                      const char* DeviceName) {
        DialUp1ActiveConnection(Sender, Handle, Status, StatusString, EntryName, DeviceType, DeviceName);
    };

    Timer1 = new TTimer(this);
    Timer1->SetEnabled(false);
    Timer1->SetInterval(1000);
    Timer1->SetOnTimer([this](QObject*) { RunGuarded(Timer1, [this] { Timer1Timer(); }); });

    // The poll starts once the windows it reports to exist (see the constructor).
    OnCheckTimer = new TTimer(this);
    OnCheckTimer->SetEnabled(false);
    OnCheckTimer->SetInterval(1000);
    OnCheckTimer->SetOnTimer([this](QObject*) { RunGuarded(OnCheckTimer, [this] { OnCheckTimerTimer(); }); });
}

void TForm1::CreateLateComponents()
{
    abfTrayIcon1 = new TabfTrayIcon(this);
    abfTrayIcon1->setObjectName(QStringLiteral("abfTrayIcon1"));
    abfTrayIcon1->SetIcon(QIcon(QStringLiteral(":/icons/zeltix16.png")));
    abfTrayIcon1->SetMinimizeToTray(true);
    abfTrayIcon1->SetMinimizeOnStart(true);
    abfTrayIcon1->SetPopupMenu(PopupMenu2);
    abfTrayIcon1->OnClick = [this](QObject*) { RunGuarded(abfTrayIcon1, [this] { abfTrayIcon1Click(); }); };
    BURunOnStartup1 = new TBURunOnStartup(this);

    // Without a working socket layer the window cannot be created at all.
    Powersock1 = new TPowersock(this);
    Powersock1->SetPort(0);
    Powersock1->SetReportLevel(0);
}

void TForm1::CreateMenus()
{
    auto addItem = [this](QMenu* menu, const QString& text, const QKeySequence& shortcut, auto handler) {
        QAction* action = menu->addAction(text);
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        if constexpr (!std::is_same_v<decltype(handler), std::nullptr_t>) {
            connect(action, &QAction::triggered, this,
                [this, action, handler] { RunGuarded(action, [this, handler] { (this->*handler)(); }); });
        } else {
            // Its window or component is not part of the program yet.
            action->setEnabled(false);
        }
        return action;
    };

    QMenu* datei = menuBar()->addMenu(QStringLiteral("Datei"));
    IndieTrayminimieren1 = addItem(datei, QStringLiteral("In die Tray minimieren"), QKeySequence(Qt::CTRL | Qt::Key_M),
        &TForm1::IndieTrayminimieren1Click);
    datei->addSeparator();
    Berenden1 = addItem(datei, QStringLiteral("Beenden"), QKeySequence(Qt::CTRL | Qt::Key_X), &TForm1::Berenden1Click);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools"));
    Statistik1 = addItem(tools, QStringLiteral("Statistik..."), QKeySequence(Qt::Key_F2), &TForm1::Statistik1Click);
    tools->addSeparator();
    Verbindungsprotokoll1 = addItem(tools, QStringLiteral("Verbindungsprotokoll anzeigen..."), QKeySequence(Qt::Key_F3),
        &TForm1::Verbindungsprotokoll1Click);

    Einstellungen1 = menuBar()->addMenu(QStringLiteral("Einstellungen"));
    // A checkable item toggles its own check mark when chosen; the state is stored at shutdown.
    autoclear1 = Einstellungen1->addAction(QStringLiteral("Onlinehistory am 1. jeden Monats leeren"));
    autoclear1->setCheckable(true);
    autoclear1->setChecked(true);
    AutomatischbeimStartvonWindowsausfhren1 =
        addItem(Einstellungen1, QStringLiteral("Automatisch beim Start von Windows ausführen"), QKeySequence(),
            &TForm1::AutomatischbeimStartvonWindowsausfhren1Click);
    AutomatischbeimStartvonWindowsausfhren1->setCheckable(true);
    AutomatischbeimStartvonWindowsausfhren1->setChecked(true);
    connect(Einstellungen1, &QMenu::aboutToShow, this,
        [this] { RunGuarded(Einstellungen1, [this] { Einstellungen1Click(); }); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("?"));
    About1 = addItem(help, QStringLiteral("About..."), QKeySequence(Qt::Key_F1), &TForm1::About1Click);

    PopupMenu1 = new QMenu(this);
    Leeren1 = PopupMenu1->addAction(QStringLiteral("Leeren"));
    connect(Leeren1, &QAction::triggered, this, [this] { RunGuarded(Leeren1, [this] { Leeren1Click(); }); });
    ListView2->viewport()->installEventFilter(this);
    ListView1->installEventFilter(this);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos)); });

    PopupMenu2 = new QMenu(this);
    Show1 = addItem(PopupMenu2, QStringLiteral("Show"), QKeySequence(), &TForm1::Show1Click);
    PopupMenu2->addSeparator();
    Close1 = addItem(PopupMenu2, QStringLiteral("Close"), QKeySequence(), &TForm1::Close1Click);
}

QString TForm1::StatusText() const
{
    return StatusBar1Panel->text();
}

void TForm1::SetStatusText(const QString& text)
{
    StatusBar1Panel->setText(text);
}

QString TForm1::ProgramDir() const
{
    return ::ProgramDir();
}

void TForm1::FormCreate()
{
    Application()->OnException = [this](QObject* Sender, const Exception& E) { HandleAppException(Sender, E); };
    // Each step's failure is recorded and the next step still runs: a history file that cannot
    // be read must not keep the settings from being read (and then overwritten at shutdown).
    auto step = [this](auto&& body) { RunGuarded(this, body); };
    step([this] { RemoveKilledSaves(); });
    step([this] { CheckStoredFilesReadable(); });
    step([this] { Tariffs->Clear(); });
    step([this] { LoadHistory(); });
    step([this] { UpdateCostTotals(false); });
    step([this] { UpdateOnlineTimeTotal(); });
    step([this] { DialUp1->GetEntries(); });
    step([this] { ReadSettings(); });
    step([this] {
        if (autoclear1->isChecked() && GetLocalTime().Day == 1 && Leeren1Click())
            SetStatusText(QStringLiteral("Onlinehistory geleert."));
    });
}

void TForm1::ReadSettings()
{
    TIniFile settings(ProgramDir() + StoredFiles::Settings);
    autoclear1->setChecked(
        settings.ReadBool(StoredFiles::MainSection, StoredFiles::AutoClearKey, autoclear1->isChecked()));
    SetLimit(settings.ReadInteger(StoredFiles::MainSection, StoredFiles::LimitKey, 0));
    // Showing the limit in euros runs the spin edit's change handler only when the text changes.
    SpinEdit1->SetValue(Limit() / 100);
}

void TForm1::WriteSettings()
{
    // A file that could not be read keeps the user's settings better than the defaults would.
    if (FSettingsUnreadable)
        return;
    TIniFile settings(ProgramDir() + StoredFiles::Settings);
    settings.WriteBool(StoredFiles::MainSection, StoredFiles::AutoClearKey, autoclear1->isChecked());
    WriteLimit();
}

void TForm1::FormClose()
{
    CommitData();
}

void TForm1::CommitData()
{
    // Every file is written, whichever of the others fails.
    for (TStoredFile file : {sfTariffs, sfHistory, sfSettings, sfLog})
        TrySave(file, [this, file] { SaveFile(file); });
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!FClosing) {
        FClosing = true;
        OnCheckTimer->SetEnabled(false);
        Timer1->SetEnabled(false);
        RunGuarded(this, [this] { FormClose(); });
    }
    event->accept();
    // Closing the main window ends the program, also while it is hidden in the tray.
    QCoreApplication::quit();
}

void TForm1::HandleAppException(QObject*, const Exception& E)
{
    AppendErrorLog(E.Message());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView2->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        RunGuarded(ListView2, [this] { ListView2DblClick(); });
        return true;
    }
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        RunGuarded(ListView1, [this, key] { ListView1KeyDown(key); });
        if (key->key() == Qt::Key_Delete)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::IndieTrayminimieren1Click()
{
    // Hidden without an icon to bring it back, the window would be out of reach: without a
    // notification area it is minimised as any window is.
    if (abfTrayIcon1->IconShown())
        abfTrayIcon1->HideApplication();
    else
        showMinimized();
}

void TForm1::Berenden1Click()
{
    close();
}

void TForm1::Einstellungen1Click()
{
    AutomatischbeimStartvonWindowsausfhren1->setChecked(BURunOnStartup1->GetRun(QStringLiteral("Zeltix")));
}

void TForm1::AutomatischbeimStartvonWindowsausfhren1Click()
{
    // A checkable item has already flipped its check mark when it is chosen.
    BURunOnStartup1->SetRunOnStartup(
        QStringLiteral("Zeltix"), ExeName(), false, AutomatischbeimStartvonWindowsausfhren1->isChecked());
}

void TForm1::abfTrayIcon1Click()
{
    abfTrayIcon1->ShowApplication();
}

// The secondary windows are shown without being modal; each showing rebuilds what it shows.
static void ShowModeless(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::Statistik1Click()
{
    ShowModeless(Form2.get());
}

void TForm1::Verbindungsprotokoll1Click()
{
    ShowModeless(Form3.get());
}

void TForm1::About1Click()
{
    ShowModeless(AboutBox.get());
}

void TForm1::Show1Click()
{
    abfTrayIcon1->ShowApplication();
}

void TForm1::Close1Click()
{
    close();
}
