#include "reports/ProtokollFrm.h"

#include "base/Exceptions.h"
#include "platform/ProgramDir.h"
#include "platform/Seams.h"
#include "tests/reports/ReportsTestSupport.h"
#include "tests/support/Palettes.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QClipboard>
#include <QListView>
#include <QPalette>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

QStringList Lines(const TForm3& form)
{
    QStringList lines;
    for (std::size_t i = 0; i < form.LineCount(); ++i)
        lines << form.Line(i);
    return lines;
}

// What the viewer's list shows, one row per line, the rows joined by LF.
QString ShownText(const TForm3& form)
{
    const QAbstractItemModel* rows = form.ProtMem->model();
    QStringList shown;
    for (int row = 0; row < rows->rowCount(); ++row)
        shown << rows->index(row, 0).data().toString();
    return shown.join(QLatin1Char('\n'));
}

bool ShowsTheEnd(const TForm3& form)
{
    const QScrollBar* bar = form.ProtMem->verticalScrollBar();
    const QModelIndex last = form.ProtMem->model()->index(form.ProtMem->model()->rowCount() - 1, 0);
    return bar->value() == bar->maximum() && form.ProtMem->viewport()->rect().contains(form.ProtMem->visualRect(last));
}

// Each test gets a program directory of its own, holding Protokol.txt or not.
class ProtokollFrmTest : public ::testing::Test {
protected:
    void SetUp() override { Seams->ProgramDir = QString::fromStdString(Dir.Path()); }

    TPlatformSeamScope Seams;

    std::unique_ptr<TForm3> Create() { return std::make_unique<TForm3>(); }
    QString LogPath() const { return QString::fromStdString(Dir.File("Protokol.txt")); }
    std::string Saved() const { return Dir.Read("Protokol.txt"); }

    TTempDir Dir;
    TRecordingGuard Guard;
};

TEST_F(ProtokollFrmTest, WindowIsASizeableToolWindowWithAReadOnlyListOfLines)
{
    auto form = Create();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Verbindungsprotokoll"));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(form->size(), QSize(435, 356));
    EXPECT_EQ(form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly), QList<QWidget*>{form->ProtMem});
    EXPECT_EQ(form->ProtMem->editTriggers(), QAbstractItemView::NoEditTriggers);
    // One row per line, all of one height, in the window's font.
    EXPECT_FALSE(form->ProtMem->wordWrap());
    EXPECT_TRUE(form->ProtMem->uniformItemSizes());
    EXPECT_EQ(form->ProtMem->font(), form->font());
    EXPECT_NE(form->ProtMem->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_NE(form->ProtMem->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(form->ProtMem->viewport()->backgroundRole(), QPalette::Window);
}

TEST_F(ProtokollFrmTest, MissingFileGivesAnEmptyLogAndNoError)
{
    auto form = Create();
    EXPECT_EQ(form->LineCount(), 0u);
    EXPECT_TRUE(ShownText(*form).isEmpty());
    EXPECT_TRUE(Guard.Messages.isEmpty());
    EXPECT_EQ(TForm3::LogFileName(), LogPath());
}

TEST_F(ProtokollFrmTest, ExistingFileLoadsLineByLineFromTheAnsiCodePage)
{
    Dir.Write("Protokol.txt",
        "[08.12.2026 14:03:22] Verbindung zu M\xE4nner aufgenommen!\r\n"
        "  DeviceName: Modem\n"
        "\r\n"
        "letzte Zeile ohne Umbruch");
    auto form = Create();
    const QStringList expected{QStringLiteral("[08.12.2026 14:03:22] Verbindung zu Männer aufgenommen!"),
        QStringLiteral("  DeviceName: Modem"), QString(), QStringLiteral("letzte Zeile ohne Umbruch")};
    EXPECT_EQ(Lines(*form), expected);
    form->show();
    EXPECT_EQ(ShownText(*form), expected.join(QLatin1Char('\n')));
    // Opened, the viewer shows the end of the log.
    EXPECT_EQ(form->ProtMem->currentIndex().row(), 3);
    EXPECT_TRUE(ShowsTheEnd(*form));
}

TEST_F(ProtokollFrmTest, AppendedLinesFollowTheLoadedOnesInListAndMemo)
{
    Dir.Write("Protokol.txt", "alt\r\n");
    auto form = Create();
    form->AppendLine(QStringLiteral("vorher"));
    form->show();
    form->AppendLine(QStringLiteral("neu"));
    form->AppendLine(QString());
    EXPECT_EQ(
        Lines(*form), (QStringList{QStringLiteral("alt"), QStringLiteral("vorher"), QStringLiteral("neu"), QString()}));
    EXPECT_EQ(ShownText(*form), QStringLiteral("alt\nvorher\nneu\n"));
}

TEST_F(ProtokollFrmTest, EmptyLinesAtTheStartOfAnEmptyLogStayInTheMemo)
{
    for (bool openFirst : {true, false}) {
        auto form = Create();
        if (openFirst)
            form->show();
        form->AppendLine(QString());
        form->AppendLine(QString());
        form->AppendLine(QStringLiteral("x"));
        form->show();
        EXPECT_EQ(form->LineCount(), 3u);
        EXPECT_EQ(ShownText(*form), QStringLiteral("\n\nx")) << openFirst;
        EXPECT_EQ(form->ProtMem->model()->rowCount(), 3) << openFirst;
    }
}

TEST_F(ProtokollFrmTest, SaveWritesEveryLineWithCrLfAfterTheOldText)
{
    Dir.Write("Protokol.txt", "alt 1\r\nalt \xE4\r\n");
    auto form = Create();
    form->AppendLine(QStringLiteral("[08.12.2026 14:03:22] Verbindung zu Provider getrennt!"));
    form->AppendLine(QString());
    EXPECT_EQ(form->SaveToFile(LogPath()), LogPath());
    EXPECT_EQ(Saved(), "alt 1\r\nalt \xE4\r\n[08.12.2026 14:03:22] Verbindung zu Provider getrennt!\r\n\r\n");
}

TEST_F(ProtokollFrmTest, FirstRunCreatesTheFileAndTheNextRunLoadsIt)
{
    {
        auto form = Create();
        for (const char* line : {"[a] aufgenommen!", "  DeviceName: M", "  DeviceType: modem", "  IP Address: 1.2.3.4"})
            form->AppendLine(QString::fromLatin1(line));
        form->SaveToFile(TForm3::LogFileName());
    }
    EXPECT_EQ(Saved(), "[a] aufgenommen!\r\n  DeviceName: M\r\n  DeviceType: modem\r\n  IP Address: 1.2.3.4\r\n");
    auto second = Create();
    EXPECT_EQ(second->LineCount(), 4u);
    second->AppendLine(QStringLiteral("[b] getrennt!"));
    second->SaveToFile(TForm3::LogFileName());
    EXPECT_EQ(Saved(),
        "[a] aufgenommen!\r\n  DeviceName: M\r\n  DeviceType: modem\r\n  IP Address: 1.2.3.4\r\n"
        "[b] getrennt!\r\n");
}

TEST_F(ProtokollFrmTest, CharactersOutsideTheCodePageAreSavedAsQuestionMarks)
{
    auto form = Create();
    form->AppendLine(QStringLiteral("\u20AC \u4E2D"));
    form->SaveToFile(LogPath());
    EXPECT_EQ(Saved(), "\x80 ?\r\n");
}

TEST_F(ProtokollFrmTest, OpeningTwiceShowsTheSameTextWithLinesAppendedBetween)
{
    Dir.Write("Protokol.txt", "alt\r\n");
    auto form = Create();
    form->show();
    const QString first = ShownText(*form);
    form->close();
    form->AppendLine(QStringLiteral("neu"));
    form->show();
    EXPECT_EQ(first, QStringLiteral("alt"));
    EXPECT_EQ(ShownText(*form), QStringLiteral("alt\nneu"));
    EXPECT_TRUE(Guard.Messages.isEmpty());
}

TEST_F(ProtokollFrmTest, ALongLogOpensAtItsEndAndFollowsNewLinesOnlyWhileThere)
{
    std::string log;
    for (int i = 0; i < 500; ++i)
        log += "[08.12.2026 14:03:22] Zeile " + std::to_string(i) + "\r\n";
    Dir.Write("Protokol.txt", log);
    auto form = Create();
    form->show();
    EXPECT_TRUE(ShowsTheEnd(*form));
    EXPECT_EQ(form->ProtMem->currentIndex().row(), 499);

    form->AppendLine(QStringLiteral("neu"));
    EXPECT_EQ(form->ProtMem->model()->rowCount(), 501);
    EXPECT_TRUE(ShowsTheEnd(*form)) << "a line added at the end is in view at once";

    // Scrolled back, the reader keeps the place.
    form->ProtMem->verticalScrollBar()->setValue(0);
    form->AppendLine(QStringLiteral("noch"));
    EXPECT_EQ(form->ProtMem->verticalScrollBar()->value(), 0);
    EXPECT_EQ(form->ProtMem->model()->index(501, 0).data().toString(), QStringLiteral("noch"));
}

TEST_F(ProtokollFrmTest, EveryRowIsAsWideAsTheLongestLine)
{
    const std::string longest(300, 'W');
    Dir.Write("Protokol.txt", "kurz\r\n" + longest + "\r\nkurz\r\n");
    auto form = Create();
    form->show();
    const int needed = form->ProtMem->fontMetrics().horizontalAdvance(QString::fromStdString(longest));
    for (int row = 0; row < 3; ++row)
        EXPECT_GE(form->ProtMem->sizeHintForIndex(form->ProtMem->model()->index(row, 0)).width(), needed) << row;
    const int wide = form->ProtMem->horizontalScrollBar()->maximum();
    EXPECT_GT(wide, 0);

    // A longer line of this run widens every row.
    form->AppendLine(QString(600, QLatin1Char('W')));
    EXPECT_GT(form->ProtMem->horizontalScrollBar()->maximum(), wide);
}

// The log stands on the window's face in the window's text colour, readable in a light and in a
// dark palette.
TEST_F(ProtokollFrmTest, LinesReadInLightAndDarkPalettes)
{
    Dir.Write("Protokol.txt", "[08.12.2026 14:03:22] Verbindung zu Demo Modem hergestellt\r\n");
    auto form = Create();
    form->resize(435, 60);
    for (const bool dark : {false, true}) {
        form->setPalette(dark ? DarkPalette() : LightPalette());
        form->ProtMem->clearSelection();
        form->ProtMem->setCurrentIndex(QModelIndex());
        const QRect row = form->ProtMem->visualRect(form->ProtMem->model()->index(0, 0));
        const QImage shown = form->ProtMem->viewport()->grab(row).toImage();
        EXPECT_GE(InkContrast(shown), MinimumTextContrast) << (dark ? "dark" : "light");
        EXPECT_EQ(shown.pixelColor(0, 0), form->palette().color(QPalette::Window)) << (dark ? "dark" : "light");
    }
}

// Any range of lines is selected as in a text, with the mouse or the keys, and Ctrl+C copies
// those lines whole, in the log's order.
TEST_F(ProtokollFrmTest, SelectedLinesAreCopiedWhole)
{
    std::string log;
    QStringList lines;
    for (int i = 0; i < 20; ++i) {
        lines << QStringLiteral("[08.12.2026 14:03:%1] Zeile %2 \u00E4").arg(i, 2, 10, QLatin1Char('0')).arg(i);
        log += lines.last().toLatin1().toStdString() + "\r\n";
    }
    Dir.Write("Protokol.txt", log);
    auto form = Create();
    form->resize(435, 500);
    form->show();
    QListView* view = form->ProtMem;
    const auto rowPoint = [view](int row) { return view->visualRect(view->model()->index(row, 0)).center(); };
    const auto copied = [view] {
        QApplication::clipboard()->clear();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        return QApplication::clipboard()->text();
    };
    view->scrollToTop();

    // Shift+click: from the clicked line to the one shift-clicked, either way round.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowPoint(9));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(4));
    EXPECT_EQ(copied(), lines.mid(4, 6).join(QLatin1Char('\n')));

    // Shift+arrows, from the current line on.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowPoint(2));
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(copied(), lines.mid(2, 6).join(QLatin1Char('\n')));

    // Ctrl+click adds lines apart from the range; they come in the log's order.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowPoint(0));
    EXPECT_EQ(copied(), (QStringList{lines[0]} + lines.mid(2, 6)).join(QLatin1Char('\n')));

    // Ctrl+A takes the whole log, this run's lines included.
    form->AppendLine(QStringLiteral("neu"));
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(copied(), (lines + QStringList{QStringLiteral("neu")}).join(QLatin1Char('\n')));
}

// A line of megabytes shows its beginning in its row, so laying the row out costs no more than a
// common line, and is copied whole.
TEST_F(ProtokollFrmTest, HugeLineShowsItsBeginningAndIsCopiedWhole)
{
    const std::string huge = "Anfang" + std::string(8 << 20, 'x') + "Ende";
    Dir.Write("Protokol.txt", "kurz\r\n" + huge + "\r\nkurz\r\n");
    auto form = Create();
    form->show();
    const QString shown = form->ProtMem->model()->index(1, 0).data().toString();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Anfangxxx")));
    EXPECT_LT(shown.size(), 10000);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("\u2026")));
    EXPECT_EQ(form->ProtMem->model()->index(0, 0).data().toString(), QStringLiteral("kurz"));

    form->ProtMem->selectAll();
    const QString copied = form->SelectedText();
    EXPECT_EQ(copied.size(), static_cast<qsizetype>(huge.size() + 10));
    EXPECT_TRUE(copied.startsWith(QStringLiteral("kurz\nAnfang")));
    EXPECT_TRUE(copied.endsWith(QStringLiteral("Ende\nkurz")));
}

TEST_F(ProtokollFrmTest, SaveThatCannotWriteRaisesWithTheFileName)
{
    auto form = Create();
    form->AppendLine(QStringLiteral("x"));
    const QString path = QString::fromStdString(Dir.File("fehlt/Protokol.txt"));
    try {
        form->SaveToFile(path);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
    }
}

// A folder named Protokol.txt exists but cannot be read as a file.
class UnreadableLogTest : public ProtokollFrmTest {
protected:
    void SetUp() override
    {
        ProtokollFrmTest::SetUp();
        std::filesystem::create_directory(Dir.File("Protokol.txt"));
        Dir.Write("Protokol.txt/inhalt", "bleibt");
    }
};

TEST_F(UnreadableLogTest, ReadErrorGoesToTheHandlerAndTheLogStartsEmpty)
{
    auto form = Create();
    ASSERT_EQ(Guard.Messages.size(), 1);
    EXPECT_TRUE(Guard.Messages[0].contains(LogPath())) << Guard.Messages[0].toStdString();
    EXPECT_EQ(Guard.LastSender, form.get());
    EXPECT_EQ(form->LineCount(), 0u);
}

TEST_F(UnreadableLogTest, FormCreateLetsTheErrorOut)
{
    auto form = Create();
    EXPECT_THROW(form->FormCreate(), EInOutError);
}

TEST_F(UnreadableLogTest, StillUnreadableAtSaveThisRunGoesBesideItAndTheOldOneStays)
{
    // A leftover of an earlier run is not replaced either.
    Dir.Write("Protokol.txt.new", "frueher\r\n");
    auto form = Create();
    form->AppendLine(QStringLiteral("neu"));
    const QString written = form->SaveToFile(LogPath());
    EXPECT_EQ(written, LogPath() + QStringLiteral(".new1"));
    EXPECT_EQ(Dir.Read("Protokol.txt.new1"), "neu\r\n");
    EXPECT_EQ(Dir.Read("Protokol.txt.new"), "frueher\r\n");
    EXPECT_EQ(Dir.Read("Protokol.txt/inhalt"), "bleibt");

    // A second save of the same run updates its own file.
    form->AppendLine(QStringLiteral("noch"));
    EXPECT_EQ(form->SaveToFile(LogPath()), written);
    EXPECT_EQ(Dir.Read("Protokol.txt.new1"), "neu\r\nnoch\r\n");
}

TEST_F(UnreadableLogTest, ReadableAgainAtSaveItsTextComesFirstAtEverySave)
{
    auto form = Create();
    form->AppendLine(QStringLiteral("neu"));
    std::filesystem::remove_all(Dir.File("Protokol.txt"));
    Dir.Write("Protokol.txt", "alt ohne Umbruch");
    EXPECT_EQ(form->SaveToFile(LogPath()), LogPath());
    EXPECT_EQ(Saved(), "alt ohne Umbruch\r\nneu\r\n");
    form->AppendLine(QStringLiteral("danach"));
    form->SaveToFile(LogPath());
    EXPECT_EQ(Saved(), "alt ohne Umbruch\r\nneu\r\ndanach\r\n");
}

TEST_F(UnreadableLogTest, GoneAtSaveTheFileHoldsThisRunsLines)
{
    auto form = Create();
    form->AppendLine(QStringLiteral("neu"));
    std::filesystem::remove_all(Dir.File("Protokol.txt"));
    form->SaveToFile(LogPath());
    EXPECT_EQ(Saved(), "neu\r\n");
}

} // namespace
