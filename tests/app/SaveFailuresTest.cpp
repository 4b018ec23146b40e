#include "tests/app/AppFixture.h"

#include "app/HistoryStream.h"
#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "reports/ProtokollFrm.h"
#include "tests/support/ScratchMount.h"
#include "widgets/RarBar.h"
#include "widgets/SpinEdit.h"

#include <QLabel>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string StartBlock = "[08.12.2026 14:03:23] Verbindung zu Provider aufgenommen!\r\n"
                               "  DeviceName: Standard 56000 bps Modem\r\n"
                               "  DeviceType: modem\r\n"
                               "  IP Address: 10.0.0.7\r\n";

// What the program writes to its standard error while the object lives.
class TStandardErrorCapture {
public:
    TStandardErrorCapture()
    {
        std::fflush(stderr);
        FSaved = ::dup(2);
        std::FILE* file = std::tmpfile();
        FFile = file;
        ::dup2(::fileno(file), 2);
    }
    ~TStandardErrorCapture()
    {
        std::fflush(stderr);
        ::dup2(FSaved, 2);
        ::close(FSaved);
        std::fclose(FFile);
    }
    // The lines the program itself wrote (the toolkit's own warnings left out).
    std::vector<std::string> Lines() const
    {
        std::fflush(stderr);
        std::string text;
        char buffer[4096];
        std::rewind(FFile);
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, FFile)) > 0;)
            text.append(buffer, n);
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            if (text.compare(start, 8, "zeltix: ") == 0)
                lines.push_back(text.substr(start, end - start));
        return lines;
    }

private:
    int FSaved = -1;
    std::FILE* FFile = nullptr;
};

// The program's files failing under it while sessions start, run and end.
class SaveFailuresTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        Seams->Sockets.LocalAddresses = {{10, 0, 0, 7}};
        DialUp.AddEntry("Provider");
    }

    void WriteTariffs() { ProgramFolder.Write("conns.ini", "[Provider]\r\nKosten=2,00\r\nChecked=1\r\n"); }
    void StartWithTariffs()
    {
        WriteTariffs();
        Start();
    }

    HRASCONN Connect()
    {
        TDialOptions options;
        options.ConnectAfterMs = 1000;
        options.LingerMs = 60000;
        HRASCONN handle = DialUp.Dial("Provider", options);
        Second();
        return handle;
    }

    // A folder in the file's place: every save of it fails, as it does where the file cannot
    // be replaced.
    void Block(const std::string& name)
    {
        fs::remove(ProgramFolder.File(name));
        fs::create_directory(ProgramFolder.File(name));
    }
    void Unblock(const std::string& name) { fs::remove(ProgramFolder.File(name)); }

    std::vector<std::string> ErrorLines() const
    {
        std::vector<std::string> lines;
        if (!ProgramFolder.Exists("error.log"))
            return lines;
        const std::string text = ProgramFolder.Read("error.log");
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    int LogLinesContaining(const QString& text) const
    {
        int n = 0;
        for (std::size_t i = 0; i < Form->Form3->LineCount(); ++i)
            n += Form->Form3->Line(i).contains(text) ? 1 : 0;
        return n;
    }

    // The history as connhistory.dat holds it now, as a start after a crash would read it.
    std::vector<std::string> StoredRows() const
    {
        THistoryLayout layout;
        std::vector<std::string> rows;
        const std::string bytes = ProgramFolder.Read("connhistory.dat");
        for (const THistoryRowTexts& row : ReadHistoryRows(bytes, layout))
            rows.push_back(std::string(row[0]) + '|' + std::string(row[1]) + '|' + std::string(row[2]) + '|' +
                std::string(row[3]));
        return rows;
    }
};

enum TOccasion { ocStart, ocMinute, ocEnd, ocShutdown };

TEST_F(SaveFailuresTest, AFileThatCannotBeSavedNeverSkipsTheOtherStepsAndIsRecordedOnce)
{
    struct TCase {
        const char* File;
        TOccasion Occasion;
        bool Written; // the file is saved at that occasion
    };
    std::vector<TCase> cases;
    for (const char* file : {"conns.ini", "connhistory.dat", "settings.ini", "Protokol.txt"})
        for (TOccasion occasion : {ocStart, ocMinute, ocEnd, ocShutdown}) {
            const std::string name = file;
            const bool written =
                occasion == ocShutdown || name == "connhistory.dat" || (name == "Protokol.txt" && occasion != ocMinute);
            cases.push_back({file, occasion, written});
        }
    const char* occasions[] = {"start", "minute", "end", "shutdown"};

    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " at the session's " + occasions[c.Occasion]);
        for (const fs::directory_entry& entry : fs::directory_iterator(ProgramFolder.Path()))
            fs::remove_all(entry.path());
        WriteTariffs();
        Start();
        if (c.Occasion == ocStart)
            Block(c.File);
        HRASCONN handle = Connect();
        ASSERT_TRUE(Form->Online);
        EXPECT_TRUE(Form->Timer1->Enabled());
        EXPECT_EQ(Form->Form3->LineCount(), 4u) << "the start block is logged";
        if (c.Occasion == ocMinute)
            Block(c.File);
        RunFor(61000);
        EXPECT_EQ(Form->History->Text(0, hcCost), "4,00") << "each minute is charged";
        if (c.Occasion == ocEnd) {
            Block(c.File);
            DialUp.HangUp(handle, 60000);
            Second();
            EXPECT_FALSE(Form->Online);
            EXPECT_FALSE(Form->Timer1->Enabled());
            EXPECT_EQ(Form->Label6->text(), "Gesamtkosten: 0,04 Euro (4 Cent)");
            RunFor(10000);
            EXPECT_EQ(LogLinesContaining("getrennt!"), 1) << "a session ends once";
        }
        if (c.Occasion == ocShutdown)
            Block(c.File);
        else
            RunFor(10000);
        const std::vector<std::string> recorded = ErrorLines();
        if (c.Occasion != ocShutdown) {
            EXPECT_EQ(recorded.size(), c.Written ? 1u : 0u) << "recorded once, not every second";
            Unblock(c.File);
            RunFor(61000); // the failed save's next try
        }
        const std::string shown = (Form->History->Text(0, hcStarted) + '|' + Form->History->Text(0, hcEntry) + '|' +
            Form->History->Text(0, hcDuration) + '|' + Form->History->Text(0, hcCost))
                                      .toStdString();
        Form->close();

        const std::vector<std::string> afterClose = ErrorLines();
        if (c.Occasion == ocShutdown) {
            ASSERT_EQ(afterClose.size(), 1u);
            EXPECT_NE(afterClose[0].find(c.File), std::string::npos) << afterClose[0];
        } else {
            EXPECT_EQ(afterClose, recorded) << "tried again and written";
        }
        // Every file that was not in the way holds what it should.
        const std::string blocked = c.Occasion == ocShutdown ? c.File : "";
        if (blocked != "conns.ini") {
            const std::string conns = ProgramFolder.Read("conns.ini");
            EXPECT_NE(conns.find("Kosten=2,00\r\n"), std::string::npos) << conns;
            EXPECT_NE(conns.find("Checked=1\r\n"), std::string::npos) << conns;
        }
        if (blocked != "settings.ini") {
            EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n");
        }
        if (blocked != "Protokol.txt") {
            const std::string log = ProgramFolder.Read("Protokol.txt");
            const std::string body = StartBlock.substr(21);
            EXPECT_EQ(log.find(body), 21u) << log;
            EXPECT_EQ(log.size() > StartBlock.size(), c.Occasion == ocEnd) << log;
        }
        if (blocked != "connhistory.dat") {
            EXPECT_EQ(StoredRows(), std::vector<std::string>{shown});
        } else {
            EXPECT_TRUE(fs::is_directory(ProgramFolder.File(c.File)));
        }
        Form.reset();
        if (c.Occasion != ocEnd)
            DialUp.HangUp(handle, 0);
    }
}

TEST_F(SaveFailuresTest, ACrashLosesAtMostTheRunningMinute)
{
    StartWithTariffs();
    Connect();
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), StartBlock);
    EXPECT_EQ(StoredRows(), (std::vector<std::string>{"08.12.2026 14:03:23|Provider|00:00:00|2,00"}));
    RunFor(150000);
    // What a start after kill -9 now would find: the session as of its last minute.
    EXPECT_EQ(StoredRows(), (std::vector<std::string>{"08.12.2026 14:03:23|Provider|00:02:00|6,00"}));
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), StartBlock);
    EXPECT_TRUE(AtomicWriteLeftovers(ProgramFolder.File("connhistory.dat")).empty());
}

TEST_F(SaveFailuresTest, ASessionEndsAndTheNextIsTimedWhileTheFolderIsReadOnly)
{
    TScratchMount disk(ProgramFolder.Path(), 1 << 20);
    if (!disk.Unavailable().empty())
        GTEST_SKIP() << disk.Unavailable();
    StartWithTariffs();
    HRASCONN first = Connect();
    RunFor(30000);
    disk.SetReadOnly(true);
    TStandardErrorCapture standardError;
    DialUp.HangUp(first, 3000);
    Second();
    EXPECT_FALSE(Form->Online);
    RunFor(5000);
    Connect();
    RunFor(12000);
    EXPECT_EQ(Form->History->Text(0, hcDuration), "00:00:12") << "the next session is timed";
    EXPECT_EQ(Form->History->Text(1, hcDuration), "00:00:30");
    EXPECT_EQ(LogLinesContaining("getrennt!"), 1);
    EXPECT_EQ(LogLinesContaining("aufgenommen!"), 2);
    // error.log cannot be written either: each cause goes once to standard error.
    const std::vector<std::string> said = standardError.Lines();
    ASSERT_EQ(said.size(), 2u);
    EXPECT_NE(said[0].find("connhistory.dat"), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("Read-only file system"), std::string::npos) << said[0];
    EXPECT_NE(said[1].find("Protokol.txt"), std::string::npos) << said[1];

    disk.SetReadOnly(false);
    RunFor(61000);
    const std::vector<std::string> rows = StoredRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], "08.12.2026 14:03:23|Provider|00:00:30|2,00");
    EXPECT_EQ(rows[0], "08.12.2026 14:04:00|Provider|00:01:00|4,00") << "as of its last minute";
    const std::string log = ProgramFolder.Read("Protokol.txt");
    EXPECT_NE(log.find("getrennt!\r\n\r\n[08.12.2026 14:04:00] Verbindung zu Provider aufgenommen!"), std::string::npos)
        << log;
    EXPECT_FALSE(ProgramFolder.Exists("error.log"));
}

TEST_F(SaveFailuresTest, AFullDiskAtShutdownStillTakesTheFilesThatFit)
{
    TScratchMount disk(ProgramFolder.Path(), 512 << 10);
    if (!disk.Unavailable().empty())
        GTEST_SKIP() << disk.Unavailable();
    StartWithTariffs();
    for (int i = 0; i < 3000; ++i)
        Form->History->Append("01.12.2026 10:00:00", "Provider", "00:10:00", "20,00");
    Form->close();
    const std::string stored = ProgramFolder.Read("connhistory.dat");
    ASSERT_GT(stored.size(), 150000u);

    Start();
    Connect();
    RunFor(30000);
    Form->SpinEdit1->SetText("25");
    disk.Fill(64 << 10); // room for the small files, not for a second copy of the history
    Form->close();

    const std::vector<std::string> recorded = ErrorLines();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_NE(recorded[0].find("connhistory.dat"), std::string::npos) << recorded[0];
    EXPECT_NE(recorded[0].find("No space left on device"), std::string::npos) << recorded[0];
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=2500\r\n");
    EXPECT_EQ(ProgramFolder.Read("conns.ini"), "[Provider]\r\nKosten=2,00\r\nChecked=1\r\n");
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), StartBlock);
    // The history keeps the session as saved at its start, whole; no partial copy stays.
    const std::vector<std::string> rows = StoredRows();
    ASSERT_EQ(rows.size(), 3001u);
    EXPECT_EQ(rows[0], "08.12.2026 14:03:23|Provider|00:00:00|2,00");
    EXPECT_TRUE(AtomicWriteLeftovers(ProgramFolder.File("connhistory.dat")).empty());
}

TEST_F(SaveFailuresTest, UnreadableTariffsOrSettingsAreSaidAndLeftAsTheyAre)
{
    struct TCase {
        const char* File;
        const char* Said;
    } cases[] = {
        {"conns.ini", "Tarife konnten nicht gelesen werden: "},
        {"settings.ini", "Einstellungen konnten nicht gelesen werden: "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        for (const fs::directory_entry& entry : fs::directory_iterator(ProgramFolder.Path()))
            fs::remove_all(entry.path());
        // A folder reads as EISDIR, as a file without read permission reads as EACCES.
        Block(c.File);
        Start();
        EXPECT_EQ(Form->StatusText().toStdString(), std::string(c.Said) + "Is a directory");
        const std::vector<std::string> recorded = ErrorLines();
        ASSERT_EQ(recorded.size(), 1u);
        EXPECT_EQ(recorded[0].rfind(std::string(c.File) + " could not be read: Is a directory.", 0), 0u) << recorded[0];
        // The run goes on with the defaults, and writes everything else.
        EXPECT_EQ(Form->Tariffs->TariffText(Form->FindTariffRow("Provider")), "0,00");
        EXPECT_EQ(Form->RarBar1->Max(), 0);
        Form->SpinEdit1->SetText("10");
        Form->close();
        EXPECT_TRUE(fs::is_directory(ProgramFolder.File(c.File))) << "never replaced by the defaults";
        EXPECT_EQ(ErrorLines(), recorded) << "leaving it is no failure";
        EXPECT_TRUE(ProgramFolder.Exists("connhistory.dat"));
        const std::string other = std::string(c.File) == "conns.ini" ? "settings.ini" : "conns.ini";
        EXPECT_TRUE(ProgramFolder.Exists(other));
        Form.reset();
    }
}

TEST_F(SaveFailuresTest, ASaveRequestOfTheDesktopWritesEveryFileAndTheSessionGoesOn)
{
    StartWithTariffs();
    Connect();
    RunFor(30000);
    Form->CommitData();
    EXPECT_EQ(StoredRows(), (std::vector<std::string>{"08.12.2026 14:03:23|Provider|00:00:30|2,00"}));
    EXPECT_EQ(ProgramFolder.Read("settings.ini"), "[Main]\r\nAutoClear=1\r\nLimit=0\r\n");
    EXPECT_EQ(ProgramFolder.Read("conns.ini"), "[Provider]\r\nKosten=2,00\r\nChecked=1\r\n");
    EXPECT_EQ(ProgramFolder.Read("Protokol.txt"), StartBlock);
    EXPECT_TRUE(Form->Online);
    EXPECT_TRUE(Form->Timer1->Enabled());
    EXPECT_TRUE(Form->OnCheckTimer->Enabled());
}

} // namespace

// Special files in place of the program's own: a FIFO, a link to an endless device, a folder,
// a link out of the program folder. None may hang the program, be read without end, be
// replaced by defaults or be written through.
TEST_F(SaveFailuresTest, SpecialFilesInPlaceOfStoredOnesNeitherHangNorAreWrittenThrough)
{
    enum TKind { skFifo, skDevZero, skFolder, skLinkOut };
    const char* kinds[] = {"a FIFO", "a link to /dev/zero", "a folder", "a link out of the folder"};
    TTempDir outside;
    for (const char* file : {"settings.ini", "conns.ini", "connhistory.dat", "Protokol.txt", "error.log"}) {
        for (TKind kind : {skFifo, skDevZero, skFolder, skLinkOut}) {
            const std::string name = file;
            SCOPED_TRACE(name + " as " + kinds[kind]);
            for (const fs::directory_entry& entry : fs::directory_iterator(ProgramFolder.Path()))
                fs::remove_all(entry.path());
            fs::remove(outside.File("target"));
            if (name != "conns.ini")
                WriteTariffs();
            const std::string path = ProgramFolder.File(name);
            if (kind == skFifo)
                ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
            else if (kind == skDevZero)
                fs::create_symlink("/dev/zero", path);
            else if (kind == skFolder)
                fs::create_directory(path);
            else
                fs::create_symlink(outside.File("target"), path);
            const auto type = fs::symlink_status(path).type();
            TStandardErrorCapture standardError;

            Start();
            const HRASCONN handle = Connect();
            RunFor(61000);
            EXPECT_TRUE(Form->Online);
            EXPECT_EQ(Form->History->Text(0, hcDuration), "00:01:01") << "the session is timed";
            DialUp.HangUp(handle, 0);
            if (name == "error.log")
                Form->HandleAppException(nullptr, Exception(QStringLiteral("Probe")));
            Form->close();
            Form.reset();

            EXPECT_FALSE(fs::exists(outside.File("target"))) << "nothing is written through a link";
            const bool dangling = kind == skLinkOut && name != "error.log";
            if (name == "connhistory.dat") {
                // A history that cannot be read is moved aside and written anew.
                EXPECT_EQ(fs::symlink_status(path + ".bad").type(), type);
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
            } else if (dangling) {
                // A link to nothing is no file: the first save puts a file in its place.
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
            } else {
                EXPECT_EQ(fs::symlink_status(path).type(), type) << "left as it is";
            }
            if (name == "Protokol.txt" && !dangling) {
                EXPECT_NE(ProgramFolder.Read("Protokol.txt.new").find("aufgenommen!"), std::string::npos);
            }
            if (name == "error.log") {
                const std::vector<std::string> said = standardError.Lines();
                EXPECT_EQ(said, std::vector<std::string>{"zeltix: Probe"}) << "said on standard error instead";
            } else if (!dangling || name == "connhistory.dat") {
                const std::vector<std::string> recorded = ErrorLines();
                ASSERT_FALSE(recorded.empty());
                EXPECT_NE(recorded[0].find(name), std::string::npos) << recorded[0];
            }
        }
    }
}

// The process's address space in bytes, as the kernel counts it against RLIMIT_AS.
uint64_t AddressSpace()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoull(line.substr(7)) * 1024;
    return 0;
}

TEST_F(SaveFailuresTest, AHistoryTooLargeToReadIsMovedAsideWithoutBeingRead)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer maps more than any address-space limit allows";
#endif
    WriteTariffs();
    // Eight gigabytes that take no room on the disk.
    const std::string path = ProgramFolder.File("connhistory.dat");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{8} << 30), 0);
    ::close(fd);
    // Room for the program, not for the file.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &before), 0);
    rlimit tight = before;
    tight.rlim_cur = AddressSpace() + (uint64_t{1} << 30);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    struct TPutBack {
        rlimit Limit;
        ~TPutBack() { ::setrlimit(RLIMIT_AS, &Limit); }
    } putBack{before};

    Start();
    EXPECT_EQ(Form->History->Count(), 0);
    Connect();
    Form->close();
    const std::vector<std::string> recorded = ErrorLines();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0], "Cannot open file \"" + path + "\". larger than 268435456 bytes");
    EXPECT_EQ(recorded[1], "connhistory.dat could not be read; it was kept as connhistory.dat.bad");
    EXPECT_EQ(fs::file_size(path + ".bad"), uint64_t{8} << 30) << "the sessions it held are kept";
    EXPECT_EQ(StoredRows().size(), 1u);
}
