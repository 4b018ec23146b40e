#pragma once

#include "reports/LogLines.h"

#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>

class QListView;
class QShowEvent;
class TLogLinesModel;

// The connection log viewer. It holds the program's working copy of the log for the whole run:
// read from Protokol.txt when the window is created, appended to by the session tracker,
// written back to the file at shutdown. Its list ProtMem shows one row per line and turns
// into text only the rows it paints, so a log of any size opens at once.
class TForm3 : public QWidget {
    Q_OBJECT

public:
    // Builds the window and runs FormCreate inside the report guard.
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    QListView* ProtMem = nullptr;

    // Loads ProgramDir() + "Protokol.txt" as the log's lines; a missing file leaves it empty.
    // A file that exists but cannot be read raises EInOutError and leaves the log empty.
    void FormCreate();

    std::size_t LineCount() const { return FLines.Count(); }
    // One line as text; characters outside the ANSI code page read as '?'.
    QString Line(std::size_t index) const { return FLines.Line(index); }
    // Adds one line at the end, shown at once when the window is; an empty text adds an empty
    // line.
    void AppendLine(const QString& line);
    // The selected lines, whole and in the log's order, joined by LF: what Ctrl+C copies.
    QString SelectedText() const;
    // Writes every line followed by CR LF in the ANSI code page, replacing the file in one step,
    // and returns the file written. If the log could not be read at creation, its old text is
    // never lost: when it is readable now it comes first; when it is still unreadable, this run's
    // lines go to a free file beside it ("Protokol.txt.new", ...) whose name is returned.
    // Raises EInOutError when the file cannot be written.
    QString SaveToFile(const QString& path);

    // Brings the file up to the log's lines and returns the file written: while the file is
    // still the one last read or written here, unchanged since, only the lines not yet in it
    // are added to its end and brought to disk; otherwise it is written whole as SaveToFile
    // does. The file's text is the same either way. Raises EInOutError when it cannot be
    // written; the file then holds what it held before.
    QString WriteToFile(const QString& path);

    // ProgramDir() + LogName(), "Protokol.txt".
    static QString LogFileName();
    static QString LogName();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Replaces the lines with those of the file; the list shows the newest ones at its next
    // showing. False (with the reason in *why) when the file cannot be read.
    bool LoadLines(const std::string& path, std::string* why = nullptr);
    // Scrolls to the last line: the newest lines are the ones worth seeing first.
    void ShowNewest();

    TLogLines FLines;
    TLogLinesModel* FModel = nullptr;
    // The list is to show the end of the log at its next showing: at first, and when lines
    // came while it was hidden with the end in view.
    bool FScrollToEnd = true;
    // The log file could not be read at creation: its path, so its text is kept at saving.
    QString FUnreadablePath;
    // Text that belongs before FLines in the file: the old log that could only be read at saving.
    std::string FHead;
    QString FHeadPath;
    // Where this run's lines went while the old log stayed unreadable.
    QString FAsideFile;

    // The file as this window last read or wrote it: which file, its size then, and how many of
    // this run's lines it holds.
    struct TOnDisk {
        dev_t Device = 0;
        ino_t Inode = 0;
        off_t Size = 0;
        std::size_t Appended = 0;
    };
    std::optional<TOnDisk> FOnDisk;
    // Remembers the file at path as holding the loaded lines and this run's first `appended` ones.
    void RememberFile(const QString& path, std::size_t appended);
    // Adds the lines the file lacks; false when the file is not as last left here.
    bool AppendNewLines(const QString& path);
};
