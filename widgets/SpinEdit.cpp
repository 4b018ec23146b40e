#include "widgets/SpinEdit.h"

#include "base/SysUtils.h"

#include <QLineEdit>

#include <algorithm>
#include <climits>

TSpinEdit::TSpinEdit(QWidget* parent)
    : QAbstractSpinBox(parent)
{
    setKeyboardTracking(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    lineEdit()->setText(QStringLiteral("0"));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        if (OnChange)
            OnChange(this);
    });
}

TSpinEdit::~TSpinEdit() = default;

QString TSpinEdit::Text() const
{
    return lineEdit()->text();
}

void TSpinEdit::SetText(const QString& text)
{
    lineEdit()->setText(text);
}

int32_t TSpinEdit::CheckValue(int64_t value) const
{
    if (FMaxValue != FMinValue)
        value = std::clamp<int64_t>(value, FMinValue, FMaxValue);
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t TSpinEdit::Value() const
{
    const std::optional<int64_t> number = TypedNumber();
    if (!number || *number < INT32_MIN || *number > INT32_MAX)
        return FMinValue;
    return static_cast<int32_t>(*number);
}

std::optional<int64_t> TSpinEdit::TypedNumber() const
{
    return StrToIntSaturated(Text());
}

void TSpinEdit::SetValue(int32_t value)
{
    const QString text = QString::number(CheckValue(value));
    if (text != Text())
        SetText(text);
}

void TSpinEdit::stepBy(int steps)
{
    SetValue(CheckValue(static_cast<int64_t>(Value()) + static_cast<int64_t>(steps) * FIncrement));
    selectAll();
}

QValidator::State TSpinEdit::validate(QString&, int&) const
{
    // Any text may stand: it is read as a number only when the value is asked for.
    return QValidator::Acceptable;
}

void TSpinEdit::fixup(QString&) const
{
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    return StepUpEnabled | StepDownEnabled;
}
