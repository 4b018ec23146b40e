#pragma once

#include <QAbstractSpinBox>

#include <cstdint>
#include <functional>
#include <optional>

// An edit field with up and down arrows for a whole number. Unlike a number box it keeps
// whatever the user types: text that is not a whole number reads as 0 and stays shown. With
// equal bounds (the default, both 0) no bound is enforced. Every change of the text raises
// OnChange, whether it was typed, stepped or set.
class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT

public:
    explicit TSpinEdit(QWidget* parent);
    ~TSpinEdit() override;

    // The text as a whole number, or MinValue when it is not one or does not fit in 32 bits.
    int32_t Value() const;
    // The text as a whole number of any size, cut to the 64-bit range, or nothing when it is
    // not one: decimal, or hexadecimal after "$" or "0x", with leading blanks and a sign.
    // Value reads the same forms, so a bound checked here holds for every number it reads.
    std::optional<int64_t> TypedNumber() const;
    // Writes the number as text (within the bounds when they differ); raises OnChange when the
    // text changes.
    void SetValue(int32_t value);
    int32_t MinValue() const { return FMinValue; }
    void SetMinValue(int32_t value) { FMinValue = value; }
    int32_t MaxValue() const { return FMaxValue; }
    void SetMaxValue(int32_t value) { FMaxValue = value; }
    int32_t Increment() const { return FIncrement; }
    void SetIncrement(int32_t value) { FIncrement = value; }

    QString Text() const;
    void SetText(const QString& text);

    std::function<void(QObject* Sender)> OnChange;

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int32_t CheckValue(int64_t value) const;

    int32_t FMinValue = 0;
    int32_t FMaxValue = 0;
    int32_t FIncrement = 1;
};
