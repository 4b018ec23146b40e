#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QShowEvent;
class TLinkLabel;

// The about box: the program's name (the main window's caption), its version, its maker and two
// links, to the maker's web page and to a new e-mail to the maker.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    // MainCaption reads the main window's caption at every showing.
    explicit TAboutBox(std::function<QString()> MainCaption, QWidget* parent = nullptr);
    ~TAboutBox() override;

    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    TLinkLabel* Label1 = nullptr;
    TLinkLabel* Label2 = nullptr;
    QPushButton* OKButton = nullptr;

    // Sets the product name to the main window's caption.
    void FormShow();
    // Opens the web address, and a new message to the mail address, with the desktop's programs.
    void Label1Click();
    void Label2Click();
    void OKButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<QString()> FMainCaption;
};
