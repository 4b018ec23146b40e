#include "tests/reports/ReportsTestSupport.h"

#include "base/Exceptions.h"
#include "base/FormatSettings.h"

#include <QTreeWidget>

#include <exception>

TRecordingGuard::TRecordingGuard()
{
    SetReportGuard([this](QObject* sender, const std::function<void()>& handler) {
        try {
            handler();
        } catch (const Exception& e) {
            Messages.append(e.Message());
            LastSender = sender;
        } catch (const std::exception& e) {
            Messages.append(QString::fromUtf8(e.what()));
            LastSender = sender;
        }
    });
}

TRecordingGuard::~TRecordingGuard()
{
    SetReportGuard({});
}

std::unique_ptr<QTreeWidget> MakeHistoryList()
{
    auto list = std::make_unique<QTreeWidget>();
    list->setColumnCount(4);
    return list;
}

void AddHistoryRow(QTreeWidget* list, const QString& caption, const QString& cost)
{
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, caption);
    item->setText(1, QStringLiteral("Provider"));
    item->setText(2, QStringLiteral("00:01:00"));
    item->setText(3, cost);
}

TGermanFormats::TGermanFormats()
    : FOk(UseLocaleForFormats("de_DE.UTF-8"))
{
}

TGermanFormats::~TGermanFormats()
{
    UseLocaleForFormats({});
}
