// The tariff list: one row per phonebook entry with its price per minute and its counting tick.

#include "app/ZeltixFrm.h"

#include <QTreeWidget>

QTreeWidgetItem* TForm1::FindTariffRow(const QString& name) const
{
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView2->topLevelItem(i);
        if (row->text(0).compare(name, Qt::CaseInsensitive) == 0)
            return row;
    }
    return nullptr;
}

QTreeWidgetItem* TForm1::TariffRowFor(const QString& entry)
{
    if (QTreeWidgetItem* row = FindTariffRow(entry))
        return row;
    auto* row = new QTreeWidgetItem(QStringList{entry, QStringLiteral("0,00")});
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Checked);
    ListView2->addTopLevelItem(row);
    return row;
}
