#pragma once

#include <QString>

#include <functional>

enum class TMessageIcon { miNone, miInformation, miQuestion, miWarning, miError };
enum class TMessageButtons { mbOk, mbYesNo };
enum class TModalResult { mrOk, mrYes, mrNo, mrCancel };

// The modal dialogs of the program, each behind one function so that tests can answer them.
// The event loop keeps running while a dialog is open, as the timers expect.

TModalResult ShowMessageBox(const QString& text, const QString& caption, TMessageIcon icon, TMessageButtons buttons);

// A text input box; returns false when the user cancels (value is then unchanged).
bool InputQuery(const QString& caption, const QString& prompt, QString& value);

// What a test sees of a dialog, and how it answers.
struct TDialogRequest {
    enum TKind { kMessage, kInput } Kind = kMessage;
    QString Text; // message text or prompt
    QString Caption;
    TMessageIcon Icon = TMessageIcon::miNone;
    TMessageButtons Buttons = TMessageButtons::mbOk;
    QString Proposal; // the input box's proposed text
};
struct TDialogAnswer {
    TModalResult Result = TModalResult::mrOk;
    QString Text; // the input box's text when the result is Ok
};
using TDialogAnswerer = std::function<TDialogAnswer(const TDialogRequest&)>;
// A test answers the dialogs through AppSeams().DialogAnswerer (app/Seams.h).
