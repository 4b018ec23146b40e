#pragma once

#include "base/Exceptions.h"
#include <QObject>
#include <QString>

ZELTIX_DECLARE_EXCEPTION(ERegistryException, Exception);

// The named entries that the system runs when it starts: string values of the machine-wide Run
// and RunOnce keys. Every call opens its key afresh with full access and closes it again.
class TBURunOnStartup : public QObject {
public:
    explicit TBURunOnStartup(QObject* Owner);

    // Whether the Run key could be opened and holds a value of that name, of any type.
    bool GetRun(const QString& Name);
    bool GetRunOnce(const QString& Name);
    // Writes the value into (flag set) or removes it from (flag clear) the RunOnce key, then the
    // Run key. ERegistryException "Failed to set data for '<name>'" when a write is refused.
    void SetRunOnStartup(const QString& Name, const QString& Data, bool RunOnce, bool Run);
};
