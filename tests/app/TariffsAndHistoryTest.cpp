#include "tests/app/AppFixture.h"

#include "app/HistoryStream.h"
#include "base/Exceptions.h"
#include "tests/support/HistoryList.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

class TariffsAndHistoryTest : public AppFixture {
protected:
    QStringList TariffRows() const
    {
        QStringList rows;
        const TTariffModel& tariffs = *Form->Tariffs;
        for (int i = 0; i < tariffs.Count(); ++i)
            rows << tariffs.Entry(i) + "=" + tariffs.TariffText(i) + (tariffs.Ticked(i) ? "+" : "-");
        return rows;
    }

    QStringList HistoryRows() const
    {
        QStringList rows;
        for (int i = 0; i < Form->History->Count(); ++i)
            rows << QStringList{Form->History->Text(i, hcStarted), Form->History->Text(i, hcEntry),
                Form->History->Text(i, hcDuration), Form->History->Text(i, hcCost)}
                        .join('|');
        return rows;
    }

    void AddHistoryRow(const QString& start, const QString& duration, const QString& cost)
    {
        Form->History->Append(start, "Provider", duration, cost);
    }

    // Answers the next input box with text (or cancels it when text is null).
    void AnswerInput(const QString& text)
    {
        App->DialogAnswerer = [this, text](const TDialogRequest& request) {
            Dialogs.push_back(request);
            if (text.isNull())
                return TDialogAnswer{TModalResult::mrCancel, {}};
            return TDialogAnswer{TModalResult::mrOk, text};
        };
    }

    QStringList ColumnsShown() const
    {
        QStringList columns;
        for (int i = 0; i < Form->History->columnCount(); ++i)
            columns << QStringLiteral("%1/%2").arg(Form->History->Captions()[i]).arg(Form->ListView1->columnWidth(i));
        return columns;
    }

    void AnswerConfirmation(TModalResult answer)
    {
        App->DialogAnswerer = [this, answer](const TDialogRequest& request) {
            Dialogs.push_back(request);
            return TDialogAnswer{answer, {}};
        };
    }
};

TEST_F(TariffsAndHistoryTest, FirstStartListsEveryEntryTickedAtZero)
{
    DialUp.AddEntry("Provider");
    DialUp.AddEntry("ISP [fast]");
    Start();
    EXPECT_EQ(TariffRows(), (QStringList{"Provider=0,00+", "ISP [fast]=0,00+"}));
    EXPECT_TRUE(HistoryRows().isEmpty());
    EXPECT_EQ(Form->Label7->text(), "Gesamt Onlinezeit: 00:00:00");
    EXPECT_TRUE(Dialogs.empty());
}

TEST_F(TariffsAndHistoryTest, TariffsRoundTripThroughConnsIniWithBracketsAsBytes)
{
    DialUp.AddEntry("Provider");
    DialUp.AddEntry("ISP [fast]");
    Start();
    Form->Tariffs->SetTicked(Form->FindTariffRow("ISP [fast]"), false);
    Form->Tariffs->SetTariffText(Form->FindTariffRow("ISP [fast]"), "4,50");
    Form->close();
    EXPECT_EQ(ProgramFolder.Read("conns.ini"),
        "[Provider]\r\nChecked=1\r\nKosten=0,00\r\n\r\n[ISP \xFF"
        "fast\xFE]\r\nChecked=0\r\nKosten=4,50\r\n");

    // Sections of entries no longer in the phonebook stay; a hand-edited tariff shows as it is.
    DialUp.Service().RemoveEntry("Provider");
    ProgramFolder.Write("conns.ini", ProgramFolder.Read("conns.ini") + "[Gone]\r\nKosten=1,00\r\n");
    std::string conns = ProgramFolder.Read("conns.ini");
    conns.replace(conns.find("Kosten=4,50"), 11, "Kosten=3");
    ProgramFolder.Write("conns.ini", conns);
    Start();
    EXPECT_EQ(TariffRows(), (QStringList{"ISP [fast]=3-"}));
    Form->close();
    EXPECT_NE(ProgramFolder.Read("conns.ini").find("[Gone]\r\nKosten=1,00"), std::string::npos);
}

TEST_F(TariffsAndHistoryTest, DoubleClickSetsTheTypedTariffInTheLocaleFormat)
{
    DialUp.AddEntry("Provider");
    Start();
    const int row = Form->FindTariffRow("Provider");

    Form->ListView2DblClick();
    EXPECT_TRUE(Dialogs.empty()) << "no row selected: nothing happens";

    Form->ListView2->setCurrentIndex(Form->Tariffs->index(row, 0));
    ASSERT_TRUE(Form->ListView2->selectionModel()->isSelected(Form->Tariffs->index(row, 0)));
    const std::vector<std::pair<QString, QString>> cases = {
        {"1,5", "1,50"}, {"teuer", "0,00"}, {"-2", "-2,00"}, {"2,675", "2,68"}, {QString(), "9,99"}};
    for (const auto& [typed, shown] : cases) {
        Form->Tariffs->SetTariffText(row, "9,99");
        AnswerInput(typed);
        Form->ListView2DblClick();
        EXPECT_EQ(Form->Tariffs->TariffText(row), shown)
            << (typed.isNull() ? "Cancel keeps the tariff" : typed.toStdString());
    }
    ASSERT_FALSE(Dialogs.empty());
    EXPECT_EQ(Dialogs.back().Caption, "Kosten pro Minute ändern");
    EXPECT_EQ(Dialogs.back().Text, "Geben Sie den Betrag in Cent an:");
    EXPECT_EQ(Dialogs.back().Proposal, "0,00");
}

TEST_F(TariffsAndHistoryTest, SessionsArePricedAtTheStoredTariffAndSurviveARestart)
{
    DialUp.AddEntry("Provider");
    ProgramFolder.Write("conns.ini", "[Provider]\r\nKosten=4,50\r\nChecked=1\r\n");
    Start();
    TDialOptions options;
    options.ConnectAfterMs = 1000;
    HRASCONN handle = DialUp.Dial("Provider", options);
    Second();
    ASSERT_TRUE(Form->Online);
    EXPECT_EQ(HistoryRows(), (QStringList{"08.12.2026 14:03:23|Provider|00:00:00|4,50"}));
    EXPECT_TRUE(ProgramFolder.Exists("connhistory.dat")) << "written when the session starts";
    RunFor(60000);
    EXPECT_EQ(HistoryRows(), (QStringList{"08.12.2026 14:03:23|Provider|00:01:00|9,00"}));
    DialUp.HangUp(handle, 60000);
    Second();
    EXPECT_EQ(Form->Label7->text(), "Gesamt Onlinezeit: 00:01:00");
    Form.reset(); // the program ends without its shutdown: the file holds the session's end

    Start();
    EXPECT_EQ(HistoryRows(), (QStringList{"08.12.2026 14:03:23|Provider|00:01:00|9,00"}));
    EXPECT_EQ(Form->Label7->text(), "Gesamt Onlinezeit: 00:01:00");
}

TEST_F(TariffsAndHistoryTest, AnEntryThatComesAfterTheStartKeepsItsStoredTariffAndTick)
{
    // Entries a backend lists only once the program runs (a new entry, a profile answered late).
    ProgramFolder.Write(
        "conns.ini", "[Later]\r\nKosten=4,50\r\nChecked=1\r\n\r\n[Blocked]\r\nKosten=1,00\r\nChecked=0\r\n");
    Start();
    EXPECT_TRUE(TariffRows().isEmpty());
    DialUp.AddEntry("Later");
    DialUp.AddEntry("Blocked");
    TDialOptions options;
    options.ConnectAfterMs = 0;
    DialUp.Dial("Blocked", options);
    Second();
    EXPECT_TRUE(Form->StatusText().endsWith(" - Verbindungsversuch zu Blocked abgebrochen!"))
        << Form->StatusText().toStdString();
    EXPECT_FALSE(Form->Online);
    DialUp.Dial("Later", options);
    Second();
    ASSERT_TRUE(Form->Online);
    EXPECT_EQ(HistoryRows(), (QStringList{"08.12.2026 14:03:26|Later|00:00:00|4,50"}));
    EXPECT_EQ(TariffRows(), (QStringList{"Blocked=1,00-", "Later=4,50+"}));
}

TEST_F(TariffsAndHistoryTest, WidenedColumnKeepsItsWidthAfterARestart)
{
    Start();
    Form->ListView1->setColumnWidth(1, 222);
    Form->close();
    Start();
    EXPECT_EQ(Form->ListView1->columnWidth(1), 222);
    EXPECT_EQ(Form->History->Captions()[3], "Kosten (Cent)");
}

TEST_F(TariffsAndHistoryTest, DeleteRemovesTheSelectedRowsWithoutAsking)
{
    Start();
    for (int i = 1; i <= 5; ++i)
        AddHistoryRow(QStringLiteral("0%1.12.2026 10:00:00").arg(i), "00:01:00", "1,00");
    for (int i : {0, 2, 4})
        Form->ListView1->selectionModel()->select(
            Form->History->index(i, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(Form->ListView1, &del);
    EXPECT_EQ(HistoryRows(),
        (QStringList{"02.12.2026 10:00:00|Provider|00:01:00|1,00", "04.12.2026 10:00:00|Provider|00:01:00|1,00"}));
    EXPECT_TRUE(Dialogs.empty());
}

TEST_F(TariffsAndHistoryTest, LeerenAsksAndDeletesOnlyOnYes)
{
    Start();
    AddHistoryRow("01.12.2026 10:00:00", "00:01:00", "1,00");
    AnswerConfirmation(TModalResult::mrNo);
    EXPECT_FALSE(Form->Leeren1Click());
    EXPECT_EQ(HistoryRows().size(), 1);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Caption, "Confirm");
    EXPECT_EQ(Dialogs[0].Text, "Sollen alle bisherigen Verbindungsaufzeichnungen gelöscht werden?");
    EXPECT_EQ(Dialogs[0].Icon, TMessageIcon::miQuestion);
    EXPECT_EQ(Dialogs[0].Buttons, TMessageButtons::mbYesNo);
    AnswerConfirmation(TModalResult::mrYes);
    Form->Leeren1->trigger();
    EXPECT_TRUE(HistoryRows().isEmpty());
}

TEST_F(TariffsAndHistoryTest, OnlineTimeTotalCountsEveryRowPastADay)
{
    Start();
    for (int i = 0; i < 30; ++i)
        AddHistoryRow("01.12.2026 10:00:00", "01:00:00", "1,00");
    AddHistoryRow("01.12.2026 10:00:00", "kaputt", "1,00");
    AddHistoryRow("01.12.2026 10:00:00", "100:00:00", "1,00");
    Form->UpdateOnlineTimeTotal();
    EXPECT_EQ(Form->Label7->text(), "Gesamt Onlinezeit: 130:00:00");

    // Ten thousand ten-minute sessions, stored and read back at the next start.
    Form->History->Clear();
    for (int i = 0; i < 10000; ++i)
        AddHistoryRow("01.12.2026 10:00:00", "00:10:00", "1,00");
    Form->close();
    Start();
    EXPECT_EQ(Form->History->Count(), 10000);
    EXPECT_EQ(Form->Label7->text(), "Gesamt Onlinezeit: 1666:40:00");
}

TEST_F(TariffsAndHistoryTest, FirstOfTheMonthOffersToClearTheHistory)
{
    Clock.SetLocalTime({2026, 12, 1, 9, 0, 0, 0});
    ProgramFolder.Write("settings.ini", "[Main]\r\nAutoClear=1\r\n");
    {
        Start();
        AddHistoryRow("30.11.2026 10:00:00", "00:01:00", "1,00");
        Form->close();
    }
    Dialogs.clear();
    Start(); // answered No
    EXPECT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(HistoryRows().size(), 1);
    EXPECT_EQ(Form->StatusText(), "");
    Form->close();

    AnswerConfirmation(TModalResult::mrYes);
    Start();
    EXPECT_TRUE(HistoryRows().isEmpty());
    EXPECT_EQ(Form->StatusText(), "Onlinehistory geleert.");
    Form->close();

    Clock.SetLocalTime({2026, 12, 2, 9, 0, 0, 0});
    Dialogs.clear();
    Start();
    EXPECT_TRUE(Dialogs.empty()) << "only on the first of a month";
}

TEST_F(TariffsAndHistoryTest, AnUnreadableHistoryIsKeptAsideBeforeItIsReplaced)
{
    ProgramFolder.Write("connhistory.dat", "TPF0\x09TListView");
    Start();
    EXPECT_EQ(ProgramFolder.Read("error.log"), "Stream read error\r\n");
    EXPECT_EQ(Form->Label7->text(), "Gesamt Onlinezeit: 00:00:00") << "start-up went on";
    Form->close();
    EXPECT_EQ(ProgramFolder.Read("connhistory.dat.bad"), std::string("TPF0\x09TListView"));
    EXPECT_EQ(ProgramFolder.Read("error.log"),
        "Stream read error\r\nconnhistory.dat could not be read; it was kept as connhistory.dat.bad\r\n");
    EXPECT_TRUE(ProgramFolder.Exists("settings.ini"));
}

TEST_F(TariffsAndHistoryTest, ABlockedEntryLeavesNoTrace)
{
    DialUp.AddEntry("Teuer");
    ProgramFolder.Write("conns.ini", "[Teuer]\r\nChecked=0\r\n");
    Start();
    Form->hide();
    TDialOptions options;
    options.ConnectAfterMs = 3000;
    HRASCONN handle = DialUp.Dial("Teuer", options);
    Second();
    EXPECT_EQ(DialUp.State(handle), -1);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(HistoryRows().isEmpty());
    EXPECT_FALSE(ProgramFolder.Exists("connhistory.dat"));
    EXPECT_FALSE(Form->Timer1->Enabled());
}

std::string Fixture(const char* name)
{
    const auto path = std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures" / "history" / name;
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

TEST_F(TariffsAndHistoryTest, HistoriesWrittenByFreePascalLoadWhole)
{
    const std::pair<const char*, QString> cases[] = {
        {"fpc-text.dat", QString::fromUtf8("Kosten (¢)/76")},
        {"fpc-typed.dat", QString::fromUtf8("Kosten (Cent, €)/76")},
    };
    const QStringList rows{"08.12.2026 14:03:23|Provider|00:01:00|9,00",
        "07.12.2026 09:00:00|ISP [fast]|00:10:00|45,00", "01.12.2026 23:59:59|Café|01:00:00|270,00"};
    for (const auto& [file, lastColumn] : cases) {
        ProgramFolder.Write("connhistory.dat", Fixture(file));
        Start();
        EXPECT_EQ(HistoryRows(), rows) << file;
        EXPECT_EQ(ColumnsShown(), (QStringList{"Datum/100", "Verbindung/150", "Dauer/70", lastColumn})) << file;
        EXPECT_FALSE(ProgramFolder.Exists("error.log")) << file;
        Form->close();
        Start();
        EXPECT_EQ(HistoryRows(), rows) << file << ", saved again by the program";
        EXPECT_EQ(ColumnsShown().value(3), lastColumn) << file;
        Form.reset();
    }
}

TEST_F(TariffsAndHistoryTest, AHistoryThatFailsAnywhereChangesNothingAndIsKeptAside)
{
    THistoryList saved;
    saved.Columns = {{"Datum", 100}, {"Verbindung", 222}, {"Dauer", 70}, {"Kosten (Cent)", 76}};
    for (int i = 1; i <= 3; ++i)
        saved.Rows.push_back({QStringLiteral("0%1.12.2026 10:00:00").arg(i), {"Provider", "00:10:00", "45,00"}});
    const std::string good = WriteHistoryStream(saved);
    std::string thirdCaptionUnreadable = good, negativeRowCount = good;
    thirdCaptionUnreadable[good.find("\x05"
                                     "Dauer") -
        1] = '\x15';
    negativeRowCount.replace(good.find("Items.Data") + 10 + 1 + 4 + 4, 4, "\xFF\xFF\xFF\xFF");
    const std::pair<std::string, std::string> cases[] = {
        {thirdCaptionUnreadable, "Invalid property value"}, {negativeRowCount, "Stream read error"},
        {Fixture("fpc-unicodestring.dat"), "Invalid property value"}, // Free Pascal's type 21
    };
    for (const auto& [damaged, failure] : cases) {
        TTempDir folder;
        Seams->ProgramDir = QString::fromStdString(folder.Path());
        folder.Write("connhistory.dat", damaged);
        Start();
        EXPECT_EQ(folder.Read("error.log"), failure + "\r\n");
        EXPECT_EQ(ColumnsShown(), (QStringList{"Datum/100", "Verbindung/150", "Dauer/70", "Kosten (Cent)/76"}));
        EXPECT_TRUE(HistoryRows().isEmpty());
        // Loaded again over a row and a width of this run, the file changes neither.
        AddHistoryRow("30.11.2026 10:00:00", "00:01:00", "1,00");
        Form->ListView1->setColumnWidth(3, 90);
        EXPECT_THROW(Form->LoadHistory(), EFilerError);
        EXPECT_EQ(HistoryRows(), (QStringList{"30.11.2026 10:00:00|Provider|00:01:00|1,00"}));
        EXPECT_EQ(ColumnsShown().value(3), "Kosten (Cent)/90");
        Form->close();
        EXPECT_EQ(folder.Read("connhistory.dat.bad"), damaged);
        Form.reset();
    }
}

TEST_F(TariffsAndHistoryTest, LeftoversOfAKilledSaveAreRemovedAtStart)
{
    const struct {
        const char* Name;
        bool Removed;
    } files[] = {
        {"connhistory.dat.Ab3xY9", true},
        {"connhistory.dat.q1W2e3", true},
        {"connhistory.dat.bad", false},
        {"connhistory.dat.bad7", false},
        {"connhistory.dat.bad100", false},
        {"connhistory.dat.Ab3xY9~", false},
        {"conns.ini.Ab3xY9", true},
        {"settings.ini.Zz0aa1", true},
        {"Protokol.txt.Ab3xY9", true},
        {"Protokol.txt.new", false},
        {"Protokol.txt.new123", false},
        {"error.log.Ab3xY9", false},
        {"Protokol.txt.Ab3xY", false},
    };
    for (const auto& file : files)
        ProgramFolder.Write(file.Name, "TPF0");
    Start();
    for (const auto& file : files)
        EXPECT_EQ(ProgramFolder.Exists(file.Name), !file.Removed) << file.Name;
    EXPECT_FALSE(ProgramFolder.Exists("error.log")) << "without connhistory.dat, as after a first save that was killed";
}

} // namespace
