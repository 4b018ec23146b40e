#pragma once

#include "tests/support/SeamScope.h"

#include <QString>
#include <QStringList>

#include <memory>

class QObject;
class QTreeWidget;

// Routes the exceptions of the reports' handlers to a handler that keeps every message, as the
// program's handler writes it to error.log; the handler found comes back at the end.
class TRecordingGuard {
public:
    TRecordingGuard();

    QStringList Messages;
    QObject* LastSender = nullptr;

private:
    TExceptionHandlerScope FScope;
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
