#include "widgets/ReportView.h"

#include <QCoreApplication>
#include <QImage>
#include <QStandardItemModel>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// A report list's rows are as high as the toolkit's own list makes them, whatever the first
// row's cells are changed to: the report view measures again only what could change the height.
struct TRowHeightCase {
    std::string Name;
    QString Before;
    QString After;
};

void PrintTo(const TRowHeightCase& c, std::ostream* os)
{
    *os << c.Name;
}

class ReportViewRowHeight : public ::testing::TestWithParam<TRowHeightCase> { };

QStandardItemModel* ThreeRows(QObject* parent)
{
    auto* model = new QStandardItemModel(3, 3, parent);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            model->setItem(row, column, new QStandardItem(QStringLiteral("00:00:0%1").arg(row)));
    return model;
}

template <class TView>
int FirstRowHeight(TView& view)
{
    QCoreApplication::processEvents();
    return view.visualRect(view.model()->index(0, 0)).height();
}

TEST_P(ReportViewRowHeight, FollowsTheFirstRowAsTheToolkitsListDoes)
{
    const TRowHeightCase& c = GetParam();
    QWidget window;
    QStandardItemModel* model = ThreeRows(&window);
    TReportView report(&window);
    QTreeView reference(&window);
    reference.setUniformRowHeights(true);
    reference.setRootIsDecorated(false);
    for (QTreeView* view : {static_cast<QTreeView*>(&report), &reference}) {
        view->setModel(model);
        view->setGeometry(0, 0, 300, 200);
    }
    window.show();
    model->item(0, 1)->setText(c.Before);
    // Several seconds of the same cell: the first measures, the others may not.
    for (int i = 0; i < 3; ++i) {
        model->item(0, 2)->setText(QStringLiteral("00:00:1%1").arg(i));
        EXPECT_EQ(FirstRowHeight(report), FirstRowHeight(reference)) << c.Name << " before";
    }
    model->item(0, 1)->setText(c.After);
    EXPECT_EQ(FirstRowHeight(report), FirstRowHeight(reference)) << c.Name << " after";
    model->item(0, 2)->setText(QStringLiteral("00:00:20"));
    EXPECT_EQ(FirstRowHeight(report), FirstRowHeight(reference)) << c.Name << " next second";

    // A larger font makes every row higher at once.
    QFont large = report.font();
    large.setPointSize(large.pointSize() * 2);
    report.setFont(large);
    reference.setFont(large);
    model->item(0, 2)->setText(QStringLiteral("00:00:21"));
    EXPECT_EQ(FirstRowHeight(report), FirstRowHeight(reference)) << c.Name << " larger font";
    EXPECT_GT(FirstRowHeight(report), 0);
}

INSTANTIATE_TEST_SUITE_P(Texts, ReportViewRowHeight,
    ::testing::Values(TRowHeightCase{"plain", QStringLiteral("Provider"), QStringLiteral("Anbieter 2")},
        TRowHeightCase{"second line added", QStringLiteral("Provider"), QStringLiteral("Zeile\nzwei")},
        TRowHeightCase{"second line removed", QStringLiteral("Zeile\nzwei"), QStringLiteral("Provider")},
        TRowHeightCase{"another script added", QStringLiteral("Provider"), QStringLiteral("日本語 ﷽")},
        TRowHeightCase{"another script removed", QStringLiteral("日本語 ﷽"), QStringLiteral("Provider")},
        TRowHeightCase{"emptied", QStringLiteral("Provider"), QString()}),
    [](const auto& info) {
        std::string name = info.param.Name;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

} // namespace
