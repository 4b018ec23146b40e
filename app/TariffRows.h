#pragma once

#include <QString>

class QTreeWidgetItem;

// The tariff list's rows, read and written by column name: the entry name (with its tick) and
// its price per minute in cents. What the price's text means as a number is read here.
enum TTariffColumn { tcEntry, tcTariff };

QString TariffText(const QTreeWidgetItem& row, TTariffColumn column);
void SetTariffText(QTreeWidgetItem& row, TTariffColumn column, const QString& text);
// The price in cents; a text that is no number is no price.
long double TariffCents(const QTreeWidgetItem& row);
