#include "reports/AboutFrm.h"

#include "base/Ansi.h"
#include "base/ExceptionRoute.h"
#include "platform/Shell.h"
#include "reports/LinkLabel.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {

const char* const ZeltixWebAddress = "https://zeltix.example.org";
const char* const ZeltixMailAddress = "zeltix@example.org";

QLabel* PlaceLabel(QWidget* parent, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

TAboutBox::TAboutBox(std::function<QString()> MainCaption, QWidget* parent)
    : QDialog(parent)
    , FMainCaption(std::move(MainCaption))
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    setFixedSize(298, 220);
    // Centred on the screen, once, as the box is placed when it is created.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 281, 169);
    // A lowered outer and a raised inner bevel: an etched frame.
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setMidLineWidth(0);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(16, 16, 32, 32);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/icons/zeltix32.png")));

    ProductName = PlaceLabel(Panel1, QStringLiteral("Zeltix"), 88, 16);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont productFont(QStringLiteral("Arial"));
    productFont.setPixelSize(12);
    productFont.setBold(true);
    ProductName->setFont(productFont);
    ProductName->adjustSize();

    Version = PlaceLabel(Panel1, QStringLiteral("1.0"), 88, 40);
    Version->setObjectName(QStringLiteral("Version"));

    Copyright = new QLabel(QStringLiteral("Copyright \u00A9 2026 The Zeltix Project"), Panel1);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->setGeometry(8, 80, 193, 33);
    Copyright->setWordWrap(true);
    Copyright->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label1 = new TLinkLabel(QString::fromLatin1(ZeltixWebAddress), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 120);
    Label1->adjustSize();
    Label1->OnClick = [this] { RunGuarded(this, [this] { Label1Click(); }); };

    Label2 = new TLinkLabel(QString::fromLatin1(ZeltixMailAddress), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(8, 140);
    Label2->adjustSize();
    Label2->OnClick = [this] { RunGuarded(this, [this] { Label2Click(); }); };

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 188, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        RunGuarded(this, [this] { FormShow(); });
}

void TAboutBox::FormShow()
{
    ProductName->setText(FMainCaption ? FMainCaption() : QString());
    ProductName->adjustSize();
}

void TAboutBox::Label1Click()
{
    const std::string address = StringToAnsi(Label1->text());
    ShellExecuteA(reinterpret_cast<HWND>(winId()), "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TAboutBox::Label2Click()
{
    const std::string address = StringToAnsi(QStringLiteral("mailto:") + Label2->text());
    ShellExecuteA(reinterpret_cast<HWND>(winId()), "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TAboutBox::OKButtonClick()
{
    close();
}
