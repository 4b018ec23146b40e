#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>

class QPlainTextEdit;
class QShowEvent;

// The connection log viewer. Its memo ProtMem is the program's working copy of the log for the
// whole run: filled from Protokol.txt when the window is created, appended to by the session
// tracker, written back to the file at shutdown.
class TForm3 : public QWidget {
    Q_OBJECT

public:
    // Builds the window and runs FormCreate inside the report guard.
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    QPlainTextEdit* ProtMem = nullptr;

    // Loads ProgramDir() + "Protokol.txt" into the memo; a missing file leaves it empty.
    // A file that exists but cannot be read raises EInOutError and leaves the memo empty.
    void FormCreate();

    // The memo's lines, kept beside the widget so that saving never walks the document.
    const QStringList& Lines() const { return FLines; }
    // Adds one line at the end; an empty text adds an empty line.
    void AppendLine(const QString& line);
    // Writes every line followed by CR LF in the ANSI code page, replacing the file in one step,
    // and returns the file written. If the log could not be read at creation, its old text is
    // never lost: when it is readable now it comes first; when it is still unreadable, this run's
    // lines go to a free file beside it ("Protokol.txt.new", ...) whose name is returned.
    // Raises EInOutError when the file cannot be written.
    QString SaveToFile(const QString& path);

    // ProgramDir() + "Protokol.txt".
    static QString LogFileName();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Replaces the lines; the memo follows at once when it is shown, else at its first showing.
    void SetLines(QStringList lines);
    void FillMemo();

    QStringList FLines;
    // The memo is filled when the window is first shown: laying out a large log costs far more
    // than reading it, and the program starts with the window hidden. Until then the lines live
    // only in FLines, which is what every other part reads and saves.
    bool FMemoFilled = false;
    // The log file could not be read at creation: its path, so its text is kept at saving.
    QString FUnreadablePath;
    // Text that belongs before FLines in the file: the old log that could only be read at saving.
    std::string FHead;
    QString FHeadPath;
    // Where this run's lines went while the old log stayed unreadable.
    QString FAsideFile;
};
