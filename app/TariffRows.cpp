#include "app/TariffRows.h"

#include "base/SysUtils.h"

#include <QTreeWidgetItem>

QString TariffText(const QTreeWidgetItem& row, TTariffColumn column)
{
    return row.text(column);
}

void SetTariffText(QTreeWidgetItem& row, TTariffColumn column, const QString& text)
{
    row.setText(column, text);
}

long double TariffCents(const QTreeWidgetItem& row)
{
    return StrToFloatDef(row.text(tcTariff), 0);
}
