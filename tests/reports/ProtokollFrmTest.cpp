#include "reports/ProtokollFrm.h"

#include "base/Exceptions.h"
#include "platform/ProgramDir.h"
#include "platform/Seams.h"
#include "tests/reports/ReportsTestSupport.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempDir.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

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

TEST_F(ProtokollFrmTest, WindowIsASizeableToolWindowWithAReadOnlyWrappingMemo)
{
    auto form = Create();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Verbindungsprotokoll"));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(form->size(), QSize(435, 356));
    EXPECT_EQ(form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly), QList<QWidget*>{form->ProtMem});
    EXPECT_TRUE(form->ProtMem->isReadOnly());
    EXPECT_EQ(form->ProtMem->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_NE(form->ProtMem->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_NE(form->ProtMem->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(form->ProtMem->palette().color(QPalette::Base), form->ProtMem->palette().color(QPalette::Button));
}

TEST_F(ProtokollFrmTest, MissingFileGivesAnEmptyLogAndNoError)
{
    auto form = Create();
    EXPECT_TRUE(form->Lines().isEmpty());
    EXPECT_TRUE(form->ProtMem->toPlainText().isEmpty());
    EXPECT_TRUE(Guard.Messages.isEmpty());
    EXPECT_EQ(TForm3::LogFileName(), LogPath());
}

TEST_F(ProtokollFrmTest, ExistingFileLoadsLineByLineFromTheAnsiCodePage)
{
    Dir.Write("Protokol.txt", "[08.12.2026 14:03:22] Verbindung zu M\xE4nner aufgenommen!\r\n"
                              "  DeviceName: Modem\n"
                              "\r\n"
                              "letzte Zeile ohne Umbruch");
    auto form = Create();
    const QStringList expected{QStringLiteral("[08.12.2026 14:03:22] Verbindung zu Männer aufgenommen!"),
                               QStringLiteral("  DeviceName: Modem"), QString(),
                               QStringLiteral("letzte Zeile ohne Umbruch")};
    EXPECT_EQ(form->Lines(), expected);
    form->show();
    EXPECT_EQ(form->ProtMem->toPlainText(), expected.join(QLatin1Char('\n')));
    // Opened, the viewer shows the end of the log.
    EXPECT_TRUE(form->ProtMem->textCursor().atEnd());
}

TEST_F(ProtokollFrmTest, AppendedLinesFollowTheLoadedOnesInListAndMemo)
{
    Dir.Write("Protokol.txt", "alt\r\n");
    auto form = Create();
    form->AppendLine(QStringLiteral("vorher"));
    form->show();
    form->AppendLine(QStringLiteral("neu"));
    form->AppendLine(QString());
    EXPECT_EQ(form->Lines(), (QStringList{QStringLiteral("alt"), QStringLiteral("vorher"), QStringLiteral("neu"), QString()}));
    EXPECT_EQ(form->ProtMem->toPlainText(), QStringLiteral("alt\nvorher\nneu\n"));
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
        EXPECT_EQ(form->Lines().size(), 3);
        EXPECT_EQ(form->ProtMem->toPlainText(), QStringLiteral("\n\nx")) << openFirst;
        EXPECT_EQ(form->ProtMem->document()->blockCount(), 3) << openFirst;
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
    EXPECT_EQ(second->Lines().size(), 4);
    second->AppendLine(QStringLiteral("[b] getrennt!"));
    second->SaveToFile(TForm3::LogFileName());
    EXPECT_EQ(Saved(), "[a] aufgenommen!\r\n  DeviceName: M\r\n  DeviceType: modem\r\n  IP Address: 1.2.3.4\r\n"
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
    const QString first = form->ProtMem->toPlainText();
    form->close();
    form->AppendLine(QStringLiteral("neu"));
    form->show();
    EXPECT_EQ(first, QStringLiteral("alt"));
    EXPECT_EQ(form->ProtMem->toPlainText(), QStringLiteral("alt\nneu"));
    EXPECT_TRUE(Guard.Messages.isEmpty());
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
    EXPECT_TRUE(form->Lines().isEmpty());
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
