#include "tests/app/AppFixture.h"

#include "app/Program.h"
#include "base/ExceptionRoute.h"
#include "base/Exceptions.h"
#include "platform/Winsock.h"
#include "reports/AboutFrm.h"
#include "reports/ProtokollFrm.h"
#include "reports/StatFrm.h"
#include "widgets/RarBar.h"
#include "widgets/SpinEdit.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QTreeWidget>

#include <string>
#include <utility>
#include <vector>

namespace {

using MainWindowTest = AppFixture;

QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-")
                                        : action->text() + QLatin1Char('|') + action->shortcut().toString());
    return texts;
}

QStringList HeaderTexts(QTreeView* list)
{
    QStringList texts;
    for (int i = 0; i < list->model()->columnCount(); ++i)
        texts << list->model()->headerData(i, Qt::Horizontal).toString() + QLatin1Char('/') +
                QString::number(list->columnWidth(i));
    return texts;
}

TEST_F(MainWindowTest, LayoutMenusAndTextsAreThoseOfTheProgram)
{
    TForm1& form = Start();
    EXPECT_EQ(form.windowTitle(), "Zeltix");
    EXPECT_EQ(form.size(), QSize(800, 516));
    EXPECT_EQ(form.GroupBox1->title(), "Verbindungseinstellungen");
    EXPECT_EQ(form.GroupBox2->title(), "Verbindungen");
    EXPECT_EQ(form.GroupBox3->title(), "Limits");
    EXPECT_EQ(form.GroupBox3->width(), 125);
    EXPECT_EQ(HeaderTexts(form.ListView2), (QStringList{"Verbindungsname/150", "Cent / Min./70"}));
    EXPECT_EQ(
        HeaderTexts(form.ListView1), (QStringList{"Datum/100", "Verbindung/150", "Dauer/70", "Kosten (Cent)/76"}));
    EXPECT_EQ(form.ListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(form.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(form.Label1->text(), "Offline");
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Label2->text(), "Gesendete Bytes: 0");
    EXPECT_EQ(form.Label3->text(), "Empfangene Bytes: 0");
    EXPECT_EQ(form.Label4->text(), "Connectionspeed: 0 bps");
    EXPECT_EQ(form.Label8->text(), "Geben Sie hier ein Monatslimit ein:");
    EXPECT_EQ(form.Label10->text(), "(0 = keine Limitierung)");
    EXPECT_EQ(form.Label11->text(), "Verbrauch:");
    EXPECT_TRUE(form.Label5->text().startsWith("Klicken Sie doppelt auf eine Verbindung"));

    QList<QAction*> menus = form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(MenuTexts(menus[0]->menu()), (QStringList{"In die Tray minimieren|Ctrl+M", "-", "Beenden|Ctrl+X"}));
    EXPECT_EQ(
        MenuTexts(menus[1]->menu()), (QStringList{"Statistik...|F2", "-", "Verbindungsprotokoll anzeigen...|F3"}));
    EXPECT_EQ(MenuTexts(menus[2]->menu()),
        (QStringList{"Onlinehistory am 1. jeden Monats leeren|", "Automatisch beim Start von Windows ausführen|"}));
    EXPECT_EQ(MenuTexts(menus[3]->menu()), (QStringList{"About...|F1"}));
    EXPECT_EQ(menus[3]->text(), "?");
    EXPECT_EQ(MenuTexts(form.PopupMenu1), (QStringList{"Leeren|"}));
    EXPECT_EQ(MenuTexts(form.PopupMenu2), (QStringList{"Show|", "-", "Close|"}));

    EXPECT_TRUE(form.OnCheckTimer->Enabled());
    EXPECT_EQ(form.OnCheckTimer->Interval(), 1000u);
    EXPECT_FALSE(form.Timer1->Enabled());
    EXPECT_EQ(form.Timer1->Interval(), 1000u);
}

// Menus and message boxes are windows of their own, which take the application's font rather
// than their owner's: all of them, the notification area's menu included, are written in the
// windows' one font.
TEST_F(MainWindowTest, WindowsAndMenusShareOneFont)
{
    TForm1& form = Start();
    QMessageBox message;
    std::vector<std::pair<std::string, QWidget*>> windows = {{"menu bar", form.menuBar()},
        {"history menu", form.PopupMenu1}, {"tray menu", form.PopupMenu2}, {"statistics", form.Form2.get()},
        {"log viewer", form.Form3.get()}, {"about box", form.AboutBox.get()}, {"message box", &message}};
    for (QAction* menu : form.menuBar()->actions())
        windows.emplace_back(menu->text().toStdString(), menu->menu());
    const QFontInfo expected(form.font());
    EXPECT_EQ(form.font().pointSize(), 8);
    for (const auto& [name, window] : windows) {
        const QFontInfo info(window->font());
        EXPECT_EQ(info.family(), expected.family()) << name;
        EXPECT_EQ(info.pointSizeF(), expected.pointSizeF()) << name;
    }
}

TEST_F(MainWindowTest, TheSessionPanelHasALoweredOuterAndARaisedInnerBevelAndTheGaugeAnElevenPixelFont)
{
    TForm1& form = Start();
    form.show();
    const QImage panel = form.Panel2->grab().toImage();
    const QPalette& colours = form.Panel2->palette();
    const int w = panel.width();
    const int h = panel.height();
    // Outer bevel lowered: dark above and left, light below and right; the inner one the other way.
    EXPECT_EQ(panel.pixel(0, h / 2), colours.color(QPalette::Dark).rgb());
    EXPECT_EQ(panel.pixel(w - 1, h / 2), colours.color(QPalette::Light).rgb());
    EXPECT_EQ(panel.pixel(1, h / 2), colours.color(QPalette::Light).rgb());
    EXPECT_EQ(panel.pixel(w - 2, h / 2), colours.color(QPalette::Dark).rgb());
    EXPECT_EQ(form.RarBar1->Font().pixelSize(), 11);
    EXPECT_TRUE(form.RarBar1->Font().bold());
}

TEST_F(MainWindowTest, FirstStartHasDefaultsAndClosingWritesSettings)
{
    TForm1& form = Start();
    EXPECT_TRUE(form.autoclear1->isChecked());
    EXPECT_EQ(form.RarBar1->Max(), 0);
    EXPECT_FALSE(ProgramFolder.Exists("settings.ini")) << "nothing is written at start";

    form.autoclear1->trigger();
    EXPECT_FALSE(form.autoclear1->isChecked());
    form.Berenden1->trigger();
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=0\r\nLimit=0\r\n");
    EXPECT_FALSE(ProgramFolder.Exists("error.log"));
}

TEST_F(MainWindowTest, StoredSettingsAreReadAndBadValuesGiveTheDefaults)
{
    ProgramFolder.Write("settings.ini", "[Main]\r\nAutoClear=0\r\nLimit=2550\r\n");
    {
        TForm1& form = Start();
        EXPECT_FALSE(form.autoclear1->isChecked());
        // The spin edit shows 25 euros, and its change handler makes that the limit.
        EXPECT_EQ(form.SpinEdit1->Text(), "25");
        EXPECT_EQ(form.RarBar1->Max(), 2500);
        EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=0\r\nLimit=2500\r\n");
        form.close();
    }
    ProgramFolder.Write("settings.ini", "[Main]\r\nAutoClear=ja\r\nLimit=viel\r\n");
    TForm1& form = Start();
    EXPECT_TRUE(form.autoclear1->isChecked());
    EXPECT_EQ(form.RarBar1->Max(), 0);
    form.close();
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n");
}

TEST_F(MainWindowTest, AnExceptionInAHandlerBecomesOneLineOfErrorLog)
{
    TForm1& form = Start();
    QDir::setCurrent(QDir::tempPath());
    RunGuarded(&form, [] { throw Exception(QStringLiteral("Error opening rasapi.dll")); });
    RunGuarded(&form, [] { throw std::runtime_error("bad thing"); });
    EXPECT_EQ(ProgramFolder.Read("error.log"), "Error opening rasapi.dll\r\nbad thing\r\n");
    EXPECT_EQ(QDir::currentPath() + QLatin1Char('/'), QString::fromStdString(ProgramFolder.Path() + "/"));
    EXPECT_TRUE(Dialogs.empty()) << "no dialog for a failed handler";

    // An exception that leaves an event handler is caught by the application object.
    QObject target;
    struct TThrowingFilter : QObject {
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::User)
                throw Exception(QStringLiteral("Function RasHangUpA not found!"));
            return false;
        }
    } filter;
    target.installEventFilter(&filter);
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&target, &event);
    EXPECT_EQ(
        ProgramFolder.Read("error.log"), "Error opening rasapi.dll\r\nbad thing\r\nFunction RasHangUpA not found!\r\n");
}

TEST_F(MainWindowTest, MissingDialUpLibraryIsRecordedOnEveryPoll)
{
    TForm1& form = Start();
    DialUpShared->RasBinding = {};
    Seams->LibrarySearchPath = {"/nonexistent-zeltix-libs"};
    RunFor(2000);
    EXPECT_EQ(ProgramFolder.Read("error.log"), "Error opening rasapi.dll\r\nError opening rasapi.dll\r\n");
    EXPECT_EQ(form.Label1->text(), "Offline");
}

} // namespace

namespace {

TEST_F(MainWindowTest, WithoutSocketsTheWindowCannotBeCreatedAndNothingIsWritten)
{
    Seams->Sockets.SocketHandle = Winsock::INVALID_SOCKET;
    std::unique_ptr<TForm1> form = CreateMainWindow();
    Seams->Sockets.SocketHandle.reset();
    EXPECT_EQ(form, nullptr);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Caption, "Application Error");
    EXPECT_TRUE(Dialogs[0].Text.contains("ESockError")) << Dialogs[0].Text.toStdString();
    EXPECT_TRUE(Dialogs[0].Text.contains("Initializaton of windows sockets failed"));
    EXPECT_FALSE(ProgramFolder.Exists("settings.ini"));
    EXPECT_FALSE(ProgramFolder.Exists("error.log"));
    EXPECT_FALSE(Application()->OnException) << "the program's handler was never installed";

    std::unique_ptr<TForm1> working = CreateMainWindow();
    EXPECT_NE(working, nullptr);
}

} // namespace
