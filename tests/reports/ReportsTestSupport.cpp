#include "tests/reports/ReportsTestSupport.h"

#include "base/Exceptions.h"
#include "base/FormatSettings.h"

#include <QTreeWidget>

TRecordingGuard::TRecordingGuard()
    : FScope([this](QObject* sender, const Exception& e) {
        Messages.append(e.Message());
        LastSender = sender;
    })
{
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
