// The program's files while it runs: each saved at its own occasions, a failed save recorded
// once and tried again, and a file that could not be read left as it is.

#include "app/ZeltixFrm.h"

#include "app/StoredFiles.h"
#include "base/Ansi.h"
#include "base/AtomicFile.h"
#include "base/ExceptionRoute.h"
#include "platform/Kernel.h"
#include "platform/Profile.h"
#include "reports/ProtokollFrm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A failed save is tried again a minute after the last try: soon enough that a session's end
// reaches the disk, seldom enough that a full disk is not written to every second.
constexpr DWORD RetryIntervalMs = 60000;

// Why an INI file that exists cannot be read, or nothing when it can be read or does not exist.
QString ReadFailure(const QString& path)
{
    return QString::fromLocal8Bit(ProfileReadFailure(QFile::encodeName(path).constData()));
}

} // namespace

void TForm1::RemoveKilledSaves()
{
    // The copies the program keeps beside a file end in letters and digits too ("bad7",
    // "new123"); they are the user's and stay.
    static const QRegularExpression KeptCopy(QStringLiteral("\\.(bad|new)[0-9]*$"));
    for (const QString& file : {StoredFiles::Tariffs, StoredFiles::Settings, StoredFiles::History, TForm3::LogName()}) {
        for (const std::string& leftover : AtomicWriteLeftovers(QFile::encodeName(ProgramDir() + file).toStdString())) {
            const QString name = QFile::decodeName(leftover.c_str());
            if (!KeptCopy.match(name).hasMatch())
                QFile::remove(name);
        }
    }
}

bool TForm1::TrySave(TStoredFile file, const std::function<void()>& save)
{
    TSaveState& state = FSaves[file];
    try {
        save();
        state.Pending = false;
        state.Recorded.clear();
        return true;
    } catch (...) {
        const QString message = CurrentExceptionMessage();
        state.Pending = true;
        FLastRetryTick = GetTickCount();
        // At shutdown every failure is recorded: it is the file's last chance in this run.
        if (FClosing || message != state.Recorded) {
            state.Recorded = message;
            AppendErrorLog(message);
        }
        return false;
    }
}

void TForm1::SaveFile(TStoredFile file)
{
    switch (file) {
    case sfTariffs:
        SaveTariffs();
        break;
    case sfHistory:
        SaveHistory();
        break;
    case sfSettings:
        WriteSettings();
        break;
    case sfLog:
        SaveLog();
        break;
    case sfCount:
        break;
    }
}

void TForm1::RetryPendingSaves()
{
    if (GetTickCount() - FLastRetryTick < RetryIntervalMs)
        return;
    for (int file = 0; file < sfCount; ++file) {
        if (FSaves[file].Pending) {
            const auto which = static_cast<TStoredFile>(file);
            TrySave(which, [this, which] { SaveFile(which); });
        }
    }
    FLastRetryTick = GetTickCount();
}

void TForm1::SaveLog()
{
    const QString logFile = TForm3::LogFileName();
    const QString written = Form3->WriteToFile(logFile);
    if (written != logFile)
        RecordOnce(FLogAsideRecorded,
            QStringLiteral("Protokol.txt could not be read; this run's lines were written to %1")
                .arg(QFileInfo(written).fileName()));
}

void TForm1::CheckStoredFilesReadable()
{
    const struct {
        const QString& File;
        bool& Unreadable;
        const char* What; // in error.log
        const char* Said; // in the status bar
    } files[] = {
        {StoredFiles::Tariffs, FTariffsUnreadable, "tariffs", "Tarife konnten nicht gelesen werden: "},
        {StoredFiles::Settings, FSettingsUnreadable, "settings", "Einstellungen konnten nicht gelesen werden: "},
    };
    QStringList said;
    for (const auto& file : files) {
        const QString reason = ReadFailure(ProgramDir() + file.File);
        if (reason.isEmpty())
            continue;
        file.Unreadable = true;
        AppendErrorLog(QStringLiteral("%1 could not be read: %2. It is left as it is; this run's %3 are not written "
                                      "to it.")
                           .arg(file.File, reason, QLatin1String(file.What)));
        said << QString::fromUtf8(file.Said) + reason;
    }
    if (!said.isEmpty())
        SetStatusText(said.join(QStringLiteral("; ")));
}

void TForm1::RecordOnce(QString& last, const QString& message)
{
    if (message == last)
        return;
    last = message;
    AppendErrorLog(message);
}

void TForm1::AppendErrorLog(const QString& message)
{
    // The exception handler has always made the program folder the process's working folder
    // first: error.log is named relative to it, and a dialog or a library that changed the
    // working folder meanwhile must not send the line elsewhere.
    QDir::setCurrent(ProgramDir());
    const std::string line = StringToAnsi(message) + "\r\n";
    // Never through a link out of the folder, never waiting on a FIFO, only into a plain file.
    const int fd = ::open(QFile::encodeName(StoredFiles::ErrorLog).constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    bool written = false;
    if (fd >= 0) {
        struct stat info { };
        written = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        ::close(fd);
    }
    if (written)
        return;
    // error.log cannot take it: the desktop session's journal, which keeps a program's standard
    // error, gets it instead.
    std::fprintf(stderr, "zeltix: %s\n", qUtf8Printable(message));
    std::fflush(stderr);
}
