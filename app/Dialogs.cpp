#include "app/Dialogs.h"

#include "app/Seams.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon ToQtIcon(TMessageIcon icon)
{
    switch (icon) {
    case TMessageIcon::miInformation:
        return QMessageBox::Information;
    case TMessageIcon::miQuestion:
        return QMessageBox::Question;
    case TMessageIcon::miWarning:
        return QMessageBox::Warning;
    case TMessageIcon::miError:
        return QMessageBox::Critical;
    case TMessageIcon::miNone:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

TModalResult ShowMessageBox(const QString& text, const QString& caption, TMessageIcon icon, TMessageButtons buttons)
{
    // A copy, so an answerer that installs another while it answers finishes first.
    if (const TDialogAnswerer Answerer = AppSeams().DialogAnswerer) {
        TDialogRequest request;
        request.Kind = TDialogRequest::kMessage;
        request.Text = text;
        request.Caption = caption;
        request.Icon = icon;
        request.Buttons = buttons;
        return Answerer(request).Result;
    }
    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    if (buttons == TMessageButtons::mbYesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? TModalResult::mrYes : TModalResult::mrNo;
    }
    box.setDefaultButton(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
    box.exec();
    return TModalResult::mrOk;
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value)
{
    if (const TDialogAnswerer Answerer = AppSeams().DialogAnswerer) {
        TDialogRequest request;
        request.Kind = TDialogRequest::kInput;
        request.Text = prompt;
        request.Caption = caption;
        request.Proposal = value;
        TDialogAnswer answer = Answerer(request);
        if (answer.Result != TModalResult::mrOk)
            return false;
        value = answer.Text;
        return true;
    }
    bool ok = false;
    QString text = QInputDialog::getText(QApplication::activeWindow(), caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}
