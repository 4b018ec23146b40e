#include "widgets/SpinEdit.h"

#include <QLineEdit>

#include <algorithm>
#include <climits>

namespace {

int DigitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int digit = -1;
    if (u >= u'0' && u <= u'9')
        digit = u - u'0';
    else if (u >= u'a' && u <= u'f')
        digit = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        digit = u - u'A' + 10;
    return digit < base ? digit : -1;
}

} // namespace

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
    // The forms of the runtime's integer reading: blanks only in front, the sign before the
    // "$" or "0x", and nothing after the digits.
    const QString text = Text();
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    int base = 10;
    if (i < size && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < size && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == size)
        return std::nullopt;
    // Counted negative, as the negative range is the larger one; beyond it the number stays at
    // the end of the range.
    int64_t value = 0;
    for (; i < size; ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0)
            return std::nullopt;
        value = value < (INT64_MIN + digit) / base ? INT64_MIN : value * base - digit;
    }
    if (negative)
        return value;
    return value == INT64_MIN ? INT64_MAX : -value;
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
