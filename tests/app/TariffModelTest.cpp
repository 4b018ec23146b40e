#include "tests/app/AppFixture.h"

#include <QMouseEvent>
#include <QTreeView>

namespace {

void Click(QWidget* widget, QPoint at)
{
    const QPointF local(at), global(widget->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, {});
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

// The tariff list as the tracker and the user see it: rows found by name, prices read once as
// money, the tick changed by a click on the list's check box.
class TariffModelTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        for (const char* entry : {"Provider", "Teuer", "Kaputt"})
            DialUp.AddEntry(entry);
        ProgramFolder.Write("conns.ini", "[Teuer]\r\nKosten=9,90\r\nChecked=0\r\n[Kaputt]\r\nKosten=viel\r\n");
        Start();
    }
};

TEST_F(TariffModelTest, RowsAreFoundByNameAndPricedAsMoney)
{
    const TTariffModel& tariffs = *Form->Tariffs;
    ASSERT_EQ(tariffs.Count(), 3);
    EXPECT_EQ(Form->FindTariffRow("PROVIDER"), 0) << "letter case aside";
    EXPECT_EQ(Form->FindTariffRow("Gibt es nicht"), -1);
    EXPECT_EQ(tariffs.TariffCents(Form->FindTariffRow("Teuer")), 9.9L);
    EXPECT_FALSE(tariffs.Ticked(Form->FindTariffRow("Teuer")));
    EXPECT_EQ(tariffs.TariffText(Form->FindTariffRow("Kaputt")), "viel") << "shown as stored";
    EXPECT_EQ(tariffs.TariffCents(Form->FindTariffRow("Kaputt")), 0.0L) << "and charges nothing";
}

TEST_F(TariffModelTest, TheTickIsTheOneThingTheListChangesInPlace)
{
    Form->show();
    const int row = Form->FindTariffRow("Provider");
    const QModelIndex entry = Form->Tariffs->index(row, TTariffModel::tcEntry);
    const QModelIndex price = Form->Tariffs->index(row, TTariffModel::tcTariff);
    EXPECT_TRUE(Form->Tariffs->flags(entry) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(Form->Tariffs->flags(price) & Qt::ItemIsEditable);
    EXPECT_FALSE(Form->Tariffs->setData(price, QStringLiteral("1,00"), Qt::EditRole));

    // A click on the check box, as the user unticks the entry.
    QTreeView* list = Form->ListView2;
    const QRect cell = list->visualRect(entry);
    Click(list->viewport(), QPoint(cell.left() + 10, cell.center().y()));
    EXPECT_FALSE(Form->Tariffs->Ticked(row));
    EXPECT_EQ(Form->Tariffs->data(entry, Qt::CheckStateRole).toInt(), Qt::Unchecked);
    Form->close();
    EXPECT_NE(ProgramFolder.Read("conns.ini").find("[Provider]\r\nChecked=0\r\nKosten=0,00\r\n"), std::string::npos);
}

} // namespace
