#include "tests/app/AppFixture.h"

#include <QCoreApplication>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPaintEvent>
#include <QScreen>
#include <QTreeView>

#include <map>
#include <set>

namespace {

// Counts the paint events of every widget of a window and where each one painted.
class TPaintRecorder : public QObject {
public:
    explicit TPaintRecorder(QWidget* window)
    {
        window->installEventFilter(this);
        for (QWidget* child : window->findChildren<QWidget*>())
            child->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            Painted[static_cast<QWidget*>(watched)] += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

    std::map<QWidget*, QRegion> Painted;
};

class ShownWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        DialUp.AddEntry("Provider");
        Start();
        Form->show();
        TDialOptions options;
        options.ConnectAfterMs = 1000;
        options.LingerMs = 600000;
        DialUp.Dial("Provider", options);
        // Into the session, away from a minute's charge; what the start changed is painted.
        RunFor(5500);
        QCoreApplication::processEvents();
        ASSERT_TRUE(Form->Online);
    }
};

QImage Opaque(const QPixmap& picture)
{
    return picture.toImage().convertToFormat(QImage::Format_RGB32);
}

// A session second repaints the duration's cell and the figures that changed, and nothing
// beneath them (no panel, box or window background, no other cell of the row); and what the
// screen then shows is what painting the whole window anew shows.
TEST_F(ShownWindowTest, ASessionSecondRepaintsOnlyTheDurationCellAndTheChangedFigures)
{
    TForm1& form = *Form;
    QWidget* viewport = form.ListView1->viewport();
    const std::set<QWidget*> figures = {viewport, form.Label2, form.Label3, form.Label4};
    for (int second = 0; second < 3; ++second) {
        TPaintRecorder paints(&form);
        Second();
        QCoreApplication::processEvents();

        const QRect cell = form.ListView1->visualRect(form.History->index(0, hcDuration));
        EXPECT_EQ(paints.Painted[viewport], QRegion(cell)) << "second " << second;
        for (const auto& [widget, region] : paints.Painted)
            EXPECT_TRUE(figures.count(widget)) << widget->metaObject()->className() << " "
                                               << widget->objectName().toStdString() << " painted, second " << second;
        EXPECT_TRUE(Opaque(form.screen()->grabWindow(form.winId())) == Opaque(form.grab())) << "second " << second;
    }
}

// The figures' own background is the window's face: the window looks exactly as it does with
// the labels drawn on the panel, and the rows as high as a list measured anew.
TEST_F(ShownWindowTest, TheWindowLooksAsWithTransparentFiguresAndNewlyMeasuredRows)
{
    TForm1& form = *Form;
    RunFor(3000);
    const int rowHeight = form.ListView1->visualRect(form.History->index(0, 0)).height();
    const QImage shown = form.grab().toImage();
    for (QLabel* label : {form.Label1, form.Label2, form.Label3, form.Label4})
        label->setAutoFillBackground(false);
    form.ListView1->doItemsLayout();
    EXPECT_EQ(form.ListView1->visualRect(form.History->index(0, 0)).height(), rowHeight);
    const QImage transparent = form.grab().toImage();
    ASSERT_EQ(shown.size(), transparent.size());
    EXPECT_TRUE(shown == transparent);
}

} // namespace
