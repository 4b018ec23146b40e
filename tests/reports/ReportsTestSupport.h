#pragma once

#include "reports/ReportGuard.h"

#include <QString>
#include <QStringList>

#include <memory>

class QObject;
class QTreeWidget;

// Installs a report guard that keeps the message of every exception a handler raises, as the
// program's handler writes it to error.log; the default guard comes back at the end.
class TRecordingGuard {
public:
    TRecordingGuard();
    ~TRecordingGuard();
    TRecordingGuard(const TRecordingGuard&) = delete;
    TRecordingGuard& operator=(const TRecordingGuard&) = delete;

    QStringList Messages;
    QObject* LastSender = nullptr;
};

// A history list like the main window's: caption, entry, duration, cost in cents.
std::unique_ptr<QTreeWidget> MakeHistoryList();
void AddHistoryRow(QTreeWidget* list, const QString& caption, const QString& cost);

// Selects German formats for one test and the process's own again at the end.
class TGermanFormats {
public:
    TGermanFormats();
    ~TGermanFormats();
    bool Ok() const { return FOk; }

private:
    bool FOk = false;
};
