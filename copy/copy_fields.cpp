#include "app/tform1.h"

#include "app/qt_colour.h"

#include "copy/field_number.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int FirstEntryNumber = 1;

// A text that is no number, or a number below the first entry, becomes "1"; a number beyond
// the last entry becomes "3000". The rewrite runs the field's own change handler again before
// setText returns; that rerun finds a valid text and rewrites nothing, so the chain ends.
void CheckEntryNumberField(QLineEdit *field)
{
    const std::optional<std::int32_t> value = FieldNumber(field->text());
    if (!value || *value < FirstEntryNumber)
        field->setText(QString::number(FirstEntryNumber));
    else if (*value > MaxEntryNumber)
        field->setText(QString::number(MaxEntryNumber));
}

// Only read after the field's own check has run, so the fallback is never taken.
std::int64_t CheckedValue(const QLineEdit *field)
{
    return FieldNumber(field->text()).value_or(FirstEntryNumber);
}

// Editable fields show the window background, fixed ones the inactive caption text colour.
QColor EditableBackground(const QWidget &window)
{
    return window.palette().color(QPalette::Base);
}

QColor FixedBackground(const QWidget &window)
{
    return window.palette().color(QPalette::Window);
}

} // namespace

void TForm1::ConnectCopy()
{
    connect(NumberFrom, &QLineEdit::textChanged, this, &TForm1::NumberFromChange);
    connect(NumberTo, &QLineEdit::textChanged, this, &TForm1::NumberToChange);
    connect(TargetNumberFrom, &QLineEdit::textChanged, this, &TForm1::TargetNumberFromChange);
    connect(TargetNumberTo, &QLineEdit::textChanged, this, &TForm1::TargetNumberToChange);
    connect(Only1Color, &QCheckBox::toggled, this, &TForm1::Only1ColorClick);
    connect(TargetOther, &QCheckBox::toggled, this, &TForm1::TargetOtherClick);
    connect(CopyColors, &QPushButton::clicked, this, &TForm1::CopyColorsClick);
}

// A following target copies the text character for character, padding and hexadecimal form
// included; the assignment fires TargetNumberFromChange only when the text differs.
void TForm1::NumberFromChange()
{
    CheckEntryNumberField(NumberFrom);
    if (TargetOther->isChecked())
        TargetNumberFromChange();
    else
        TargetNumberFrom->setText(NumberFrom->text());
}

// NumberTo counts in single mode as well, although it is disabled there.
void TForm1::NumberToChange()
{
    CheckEntryNumberField(NumberTo);
    TargetNumberFromChange();
}

// The end of the target range is written unclamped; its own check then clamps it. All three
// texts are read after the check, because the check may already have run this handler again.
void TForm1::TargetNumberFromChange()
{
    CheckEntryNumberField(TargetNumberFrom);
    const std::int64_t targetTo =
        CheckedValue(TargetNumberFrom) + (CheckedValue(NumberTo) - CheckedValue(NumberFrom));
    TargetNumberTo->setText(QString::number(targetTo));
}

void TForm1::TargetNumberToChange()
{
    CheckEntryNumberField(TargetNumberTo);
}

// Switching between single and range mode changes no text and computes nothing.
void TForm1::Only1ColorClick()
{
    const bool singleMode = Only1Color->isChecked();
    NumberTo->setEnabled(!singleMode);
    SetRoleColour(NumberTo, QPalette::Base,
                  singleMode ? FixedBackground(*this) : EditableBackground(*this));
}

// A typed target starts from the copy of NumberFrom it holds. Returning to a following target
// copies NumberFrom over before the field is locked, so the target range follows at once.
void TForm1::TargetOtherClick()
{
    if (TargetOther->isChecked()) {
        TargetNumberFrom->setEnabled(true);
        SetRoleColour(TargetNumberFrom, QPalette::Base, EditableBackground(*this));
        SetRoleColour(TargetNumberTo, QPalette::Base, EditableBackground(*this));
        return;
    }
    NumberFromChange();
    TargetNumberFrom->setEnabled(false);
    SetRoleColour(TargetNumberFrom, QPalette::Base, FixedBackground(*this));
    SetRoleColour(TargetNumberTo, QPalette::Base, FixedBackground(*this));
}
