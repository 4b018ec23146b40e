#include "reports/AboutFrm.h"

#include "platform/Seams.h"
#include "platform/Shell.h"
#include "reports/LinkLabel.h"
#include "tests/reports/ReportsTestSupport.h"
#include "tests/support/Palettes.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/QtPrinters.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

class AboutFrmTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Seams->ShellExecuteRecorder = [this](const TShellExecuteCall& call) { Calls.push_back(call); };
    }

    TPlatformSeamScope Seams;
    QString Caption = QStringLiteral("Zeltix");
    std::vector<TShellExecuteCall> Calls;
    TRecordingGuard Guard;
    TAboutBox Box{[this] { return Caption; }};
};

TEST_F(AboutFrmTest, LayoutOfTheBox)
{
    EXPECT_EQ(Box.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(Box.size(), QSize(298, 220));
    EXPECT_EQ(Box.minimumSize(), Box.maximumSize());
    EXPECT_EQ(Box.Panel1->geometry(), QRect(8, 8, 281, 169));
    for (QWidget* child : {static_cast<QWidget*>(Box.ProgramIcon), static_cast<QWidget*>(Box.ProductName),
             static_cast<QWidget*>(Box.Version), static_cast<QWidget*>(Box.Copyright),
             static_cast<QWidget*>(Box.Label1), static_cast<QWidget*>(Box.Label2)})
        EXPECT_EQ(child->parentWidget(), Box.Panel1) << child->objectName().toStdString();
    EXPECT_EQ(Box.ProgramIcon->geometry(), QRect(16, 16, 32, 32));
    EXPECT_FALSE(Box.ProgramIcon->pixmap().isNull());
    EXPECT_EQ(Box.ProductName->pos(), QPoint(88, 16));
    EXPECT_TRUE(Box.ProductName->font().bold());
    EXPECT_EQ(Box.ProductName->font().pixelSize(), 12);
    EXPECT_EQ(Box.Version->text(), QStringLiteral("1.0"));
    EXPECT_EQ(Box.Version->pos(), QPoint(88, 40));
    EXPECT_EQ(Box.Copyright->geometry(), QRect(8, 80, 193, 33));
    EXPECT_TRUE(Box.Copyright->wordWrap());
    EXPECT_TRUE(Box.Copyright->text().contains(QStringLiteral("Zeltix")));
    EXPECT_EQ(Box.Label1->pos(), QPoint(8, 120));
    EXPECT_EQ(Box.Label2->pos(), QPoint(8, 140));
    EXPECT_EQ(Box.OKButton->geometry(), QRect(111, 188, 75, 25));
    EXPECT_EQ(Box.OKButton->text(), QStringLiteral("OK"));
    EXPECT_TRUE(Box.OKButton->isDefault());
}

TEST_F(AboutFrmTest, LinksLookLikeLinks)
{
    for (TLinkLabel* link : {Box.Label1, Box.Label2}) {
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
}

// Every text of the box, as painted, reads on the box's face in a light and in a dark palette.
// The links stay blue: pure blue where it reads, the nearest readable blue where it does not.
TEST_F(AboutFrmTest, EveryTextReadsInLightAndDarkPalettes)
{
    for (const bool dark : {false, true}) {
        Box.setPalette(dark ? DarkPalette() : LightPalette());
        for (QLabel* label : Box.Panel1->findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue; // the program's icon
            EXPECT_GE(InkContrast(label->grab().toImage()), MinimumTextContrast)
                << label->objectName().toStdString() << (dark ? " in the dark palette" : " in the light palette");
        }
        for (TLinkLabel* link : {Box.Label1, Box.Label2}) {
            const QColor blue = link->palette().color(QPalette::WindowText);
            EXPECT_GT(blue.blue(), std::max(blue.red(), blue.green()) + 64) << blue.name().toStdString();
            if (!dark) {
                EXPECT_EQ(blue, QColor(Qt::blue));
            }
        }
    }
}

TEST_F(AboutFrmTest, ProductNameFollowsTheMainCaptionAtEveryShowing)
{
    Caption = QStringLiteral("Zeltix");
    Box.show();
    EXPECT_EQ(Box.ProductName->text(), QStringLiteral("Zeltix"));
    Box.close();
    Box.show();
    EXPECT_EQ(Box.ProductName->text(), QStringLiteral("Zeltix"));
    Box.close();
    Caption = QStringLiteral("Zeltix - online");
    Box.show();
    EXPECT_EQ(Box.ProductName->text(), QStringLiteral("Zeltix - online"));
    EXPECT_GE(Box.ProductName->width(), Box.ProductName->sizeHint().width());
}

TEST_F(AboutFrmTest, EnterPressesOkAndClosesTheBoxWithoutDestroyingIt)
{
    Box.show();
    ASSERT_TRUE(Box.isVisible());
    QTest::keyClick(&Box, Qt::Key_Return);
    EXPECT_FALSE(Box.isVisible());
    EXPECT_FALSE(Box.testAttribute(Qt::WA_DeleteOnClose));
    Box.show();
    QTest::keyClick(&Box, Qt::Key_Enter);
    EXPECT_FALSE(Box.isVisible());
}

TEST_F(AboutFrmTest, OkButtonCloses)
{
    Box.show();
    QTest::mouseClick(Box.OKButton, Qt::LeftButton);
    EXPECT_FALSE(Box.isVisible());
}

TEST_F(AboutFrmTest, WebLinkOpensTheAddress)
{
    Box.show();
    QTest::mouseClick(Box.Label1, Qt::LeftButton);
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].Operation, "open");
    EXPECT_EQ(Calls[0].File, "https://zeltix.example.org");
    EXPECT_EQ(Calls[0].Parameters, std::nullopt);
    EXPECT_EQ(Calls[0].Directory, std::nullopt);
    EXPECT_EQ(Calls[0].ShowCmd, SW_SHOWNORMAL);
    EXPECT_EQ(Calls[0].Window, reinterpret_cast<HWND>(Box.winId()));
}

TEST_F(AboutFrmTest, MailLinkStartsAMessage)
{
    Box.show();
    QTest::mouseClick(Box.Label2, Qt::LeftButton);
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].Operation, "open");
    EXPECT_EQ(Calls[0].File, "mailto:zeltix@example.org");
    EXPECT_EQ(Calls[0].Parameters, std::nullopt);
    EXPECT_EQ(Calls[0].ShowCmd, SW_SHOWNORMAL);
}

TEST_F(AboutFrmTest, RightClickOrReleaseOutsideOpensNothing)
{
    Box.show();
    QTest::mouseClick(Box.Label1, Qt::RightButton);
    QTest::mouseClick(Box.Label2, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_TRUE(Calls.empty());
}

} // namespace
