#include "support/test_support.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Replaces the field's whole text by typing, one key at a time, as the user would.
void TypeOver(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

void TypeAtEnd(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->end(false);
    QTest::keyClicks(field, text);
}

class CopyFieldsTest : public FormTest {
protected:
    void SetUp() override
    {
        Open(16, 16, 0, 0);
        ASSERT_TRUE(form->GroupBox2->isEnabled());
    }

    void RangeMode() { form->Only1Color->setChecked(false); }
    void TypedTarget() { form->TargetOther->setChecked(true); }
};

struct TextRuleCase {
    const char *typed;
    const char *kept;
    int value;
};

// clang-format off
const TextRuleCase TextRuleCases[] = {
    {"0", "1", 1},       {"-3", "1", 1},     {"-0", "1", 1},       {"3001", "3000", 3000},
    {"2147483647", "3000", 3000},            {"2147483648", "1", 1}, {"99999999999", "1", 1},
    {"12 ", "1", 1},     {"12a", "1", 1},    {"", "1", 1},         {"   ", "1", 1},
    {"+", "1", 1},       {"-$10", "1", 1},   {" 12", " 12", 12},   {"012", "012", 12},
    {"007", "007", 7},   {"+5", "+5", 5},    {"$10", "$10", 16},   {"x10", "x10", 16},
    {"0x10", "0x10", 16}, {"$1F", "$1F", 31}, {"X1f", "X1f", 31},  {"2999", "2999", 2999},
};
// clang-format on

// A field the user types into, with the others set so that TargetNumberTo, computed as
// TargetNumberFrom + NumberTo - NumberFrom, shows the value the typed text counts for.
struct RuleProbe {
    const char *name;
    QLineEdit *TForm1::*field;
    const char *numberFrom, *numberTo, *targetNumberFrom;
    long long (*shownEnd)(int value);
};

TEST_F(CopyFieldsTest, EachFieldKeepsValidTextsAndResetsTheOthers)
{
    const RuleProbe probes[] = {
        {"NumberTo", &TForm1::NumberTo, "1", "1", "1", [](int v) { return 1LL * v; }},
        {"TargetNumberFrom", &TForm1::TargetNumberFrom, "1", "1", "1",
         [](int v) { return 1LL * v; }},
        {"NumberFrom", &TForm1::NumberFrom, "1", "1500", "1500", [](int v) { return 3000LL - v; }},
    };
    RangeMode();
    TypedTarget();
    for (const RuleProbe &probe : probes) {
        form->NumberFrom->setText(probe.numberFrom);
        form->NumberTo->setText(probe.numberTo);
        form->TargetNumberFrom->setText(probe.targetNumberFrom);
        QLineEdit *field = (*form).*probe.field;
        for (const TextRuleCase &rule : TextRuleCases) {
            field->setText("2000");
            field->setText(rule.typed);
            const std::string context = std::string(probe.name) + " \"" + rule.typed + "\"";
            EXPECT_EQ(field->text(), rule.kept) << context;
            const long long end = std::clamp<long long>(probe.shownEnd(rule.value), 1, 3000);
            EXPECT_EQ(form->TargetNumberTo->text(), QString::number(end)) << context;
        }
    }
}

TEST_F(CopyFieldsTest, FollowingTargetCopiesTheKeptTextExactly)
{
    for (const TextRuleCase &rule : TextRuleCases) {
        form->NumberFrom->setText("2000");
        form->NumberFrom->setText(rule.typed);
        EXPECT_EQ(form->TargetNumberFrom->text(), rule.kept) << "typed \"" << rule.typed << "\"";
    }
}

TEST_F(CopyFieldsTest, DeletingAWholeTextPutsOneBackAtOnce)
{
    RangeMode();
    TypedTarget();
    const std::pair<QLineEdit *, const char *> fields[] = {
        {form->NumberTo, "NumberTo"},
        {form->NumberFrom, "NumberFrom"},
        {form->TargetNumberFrom, "TargetNumberFrom"}};
    for (const auto &[field, name] : fields) {
        TypeOver(field, "");
        EXPECT_EQ(field->text(), "1") << name;
    }
}

// Field texts in the order NumberFrom, NumberTo, TargetNumberFrom, TargetNumberTo.
struct WorkedExample {
    const char *name;
    bool rangeMode;
    bool typedTarget;
    QStringList before;
    std::function<void(TForm1 &)> change;
    QStringList after;
};

// Reaches a starting state through the fields' own handlers, NumberTo last so that the
// target range is computed from all three.
void Arrange(TForm1 &form, const WorkedExample &example)
{
    form.Only1Color->setChecked(!example.rangeMode);
    form.NumberFrom->setText(example.before[0]);
    form.TargetOther->setChecked(example.typedTarget);
    if (example.typedTarget)
        form.TargetNumberFrom->setText(example.before[2]);
    form.NumberTo->setText(example.before[1]);
}

TEST_F(CopyFieldsTest, WorkedExamples)
{
    const WorkedExample examples[] = {
        {"type 2 after the 1 of NumberFrom",
         false,
         false,
         {"1", "3000", "1", "3000"},
         [](TForm1 &f) { TypeAtEnd(f.NumberFrom, "2"); },
         {"12", "3000", "12", "3000"}},
        {"delete all of NumberFrom",
         false,
         false,
         {"12", "3000", "12", "3000"},
         [](TForm1 &f) { TypeOver(f.NumberFrom, ""); },
         {"1", "3000", "1", "3000"}},
        {"type 2950 over TargetNumberFrom",
         true,
         true,
         {"1", "100", "1", "100"},
         [](TForm1 &f) { TypeOver(f.TargetNumberFrom, "2950"); },
         {"1", "100", "2950", "3000"}},
        {"type 0 after the 50 of NumberTo",
         true,
         false,
         {"100", "50", "100", "50"},
         [](TForm1 &f) { TypeAtEnd(f.NumberTo, "0"); },
         {"100", "500", "100", "500"}},
        {"type 7 over TargetNumberFrom",
         true,
         true,
         {"100", "50", "100", "50"},
         [](TForm1 &f) { TypeOver(f.TargetNumberFrom, "7"); },
         {"100", "50", "7", "1"}},
        {"uncheck TargetOther",
         false,
         true,
         {"5", "9", "40", "44"},
         [](TForm1 &f) { QTest::mouseClick(f.TargetOther, Qt::LeftButton); },
         {"5", "9", "5", "9"}},
    };
    for (const WorkedExample &example : examples) {
        Arrange(*form, example);
        EXPECT_EQ(CopyFieldTexts(*form), example.before) << "before: " << example.name;
        example.change(*form);
        EXPECT_EQ(CopyFieldTexts(*form), example.after) << "after: " << example.name;
    }
}

TEST_F(CopyFieldsTest, TypingATargetStartShowsEveryUnclampedEndBeforeItsCheck)
{
    RangeMode();
    TypedTarget();
    form->NumberTo->setText("100");
    QStringList ends;
    QObject::connect(form->TargetNumberTo, &QLineEdit::textChanged,
                     [&ends](const QString &text) { ends << text; });
    TypeOver(form->TargetNumberFrom, "2950");
    // A handler connected after the form's sees each change once the nested check is done, so
    // the clamped "3000" comes before the "3049" that caused it.
    EXPECT_EQ(ends, QStringList({"101", "128", "394", "3000", "3049"}));
    EXPECT_EQ(form->TargetNumberTo->text(), "3000");
}

struct ModeRow {
    bool single;
    bool typedTarget;
    bool numberToEnabled, targetFromEnabled;
    bool numberToEditable, targetFromEditable, targetToEditable;
};

// Enabled states and backgrounds follow the two boxes, whatever order they were switched in.
TEST_F(CopyFieldsTest, EnabledStatesAndBackgroundsFollowTheModeTable)
{
    ModeRow rows[] = {
        {true, false, false, false, false, false, false},
        {false, false, true, false, true, false, false},
        {true, true, false, true, false, true, true},
        {false, true, true, true, true, true, true},
    };
    const QColor editable = form->palette().color(QPalette::Base);
    const QColor fixed = form->palette().color(QPalette::Window);
    ASSERT_NE(editable, fixed);
    auto background = [](const QLineEdit *field) { return field->palette().color(QPalette::Base); };
    for (int pass = 0; pass < 2; ++pass) {
        for (const ModeRow &row : rows) {
            const QStringList before = CopyFieldTexts(*form);
            // Reach the row by clicking the boxes the user can see.
            if (form->Only1Color->isChecked() != row.single)
                QTest::mouseClick(form->Only1Color, Qt::LeftButton);
            if (form->TargetOther->isChecked() != row.typedTarget)
                QTest::mouseClick(form->TargetOther, Qt::LeftButton);
            const std::string context = "single " + std::to_string(row.single) + ", typed " +
                                        std::to_string(row.typedTarget);
            ASSERT_EQ(form->Only1Color->isChecked(), row.single) << context;
            ASSERT_EQ(form->TargetOther->isChecked(), row.typedTarget) << context;
            EXPECT_TRUE(form->NumberFrom->isEnabled()) << context;
            EXPECT_EQ(background(form->NumberFrom), editable) << context;
            EXPECT_EQ(form->NumberTo->isEnabled(), row.numberToEnabled) << context;
            EXPECT_EQ(form->TargetNumberFrom->isEnabled(), row.targetFromEnabled) << context;
            EXPECT_FALSE(form->TargetNumberTo->isEnabled()) << context;
            EXPECT_EQ(background(form->NumberTo), row.numberToEditable ? editable : fixed)
                << context;
            EXPECT_EQ(background(form->TargetNumberFrom), row.targetFromEditable ? editable : fixed)
                << context;
            EXPECT_EQ(background(form->TargetNumberTo), row.targetToEditable ? editable : fixed)
                << context;
            // The texts all follow NumberFrom here, so no switch changes one of them.
            EXPECT_EQ(CopyFieldTexts(*form), before) << context;
        }
        std::reverse(std::begin(rows), std::end(rows));
    }
}

TEST_F(CopyFieldsTest, CheckingTargetOtherKeepsTheCopyUntilTheUserTypes)
{
    form->NumberFrom->setText("$1F");
    TypedTarget();
    EXPECT_EQ(CopyFieldTexts(*form), QStringList({"$1F", "3000", "$1F", "3000"}))
        << "after checking";
    form->NumberFrom->setText("40");
    EXPECT_EQ(CopyFieldTexts(*form), QStringList({"40", "3000", "$1F", "2991"}))
        << "after a new source";
}

TEST_F(CopyFieldsTest, UncheckingTargetOtherOverAnEqualTextFiresNoTargetChange)
{
    form->NumberFrom->setText("12");
    TypedTarget();
    int targetChanges = 0;
    QObject::connect(form->TargetNumberFrom, &QLineEdit::textChanged,
                     [&targetChanges] { ++targetChanges; });
    form->TargetOther->setChecked(false);
    EXPECT_EQ(targetChanges, 0);
    EXPECT_FALSE(form->TargetNumberFrom->isEnabled());
    EXPECT_EQ(CopyFieldTexts(*form), QStringList({"12", "3000", "12", "3000"}))
        << "after unchecking";
}

// Records the change handlers that signals run, with the text each one sees, and what runs
// inside what. Direct calls between handlers show through the changes they cause.
class HandlerTrace {
public:
    explicit HandlerTrace(TForm1 &form)
    {
        wrap(form, form.NumberFrom, "NumberFrom", &TForm1::NumberFromChange);
        wrap(form, form.NumberTo, "NumberTo", &TForm1::NumberToChange);
        wrap(form, form.TargetNumberFrom, "TargetNumberFrom", &TForm1::TargetNumberFromChange);
        wrap(form, form.TargetNumberTo, "TargetNumberTo", &TForm1::TargetNumberToChange);
    }
    QStringList lines;

private:
    void wrap(TForm1 &form, QLineEdit *field, const QString &name, void (TForm1::*handler)())
    {
        ASSERT_TRUE(QObject::disconnect(field, &QLineEdit::textChanged, &form, nullptr));
        QObject::connect(field, &QLineEdit::textChanged, &form,
                         [this, &form, name, handler](const QString &text) {
                             const QString indent(2 * m_depth, ' ');
                             lines << indent + name + " \"" + text + "\"";
                             ++m_depth;
                             (form.*handler)();
                             --m_depth;
                         });
    }
    int m_depth = 0;
};

TEST_F(CopyFieldsTest, RewrittenSourceRunsTheDeepestChainAndEnds)
{
    RangeMode();
    TypedTarget();
    form->NumberFrom->setText("2000");
    form->TargetNumberFrom->setText("3000");
    EXPECT_EQ(CopyFieldTexts(*form), QStringList({"2000", "3000", "3000", "3000"})) << "before";
    HandlerTrace trace(*form);
    form->NumberFrom->setText("abc");
    // The rerun on "1" calls TargetNumberFromChange directly, whose end "5999" is clamped
    // inside its own change; the outer run then computes the same end once more.
    const QStringList expected = {
        "NumberFrom \"abc\"",          "  NumberFrom \"1\"",
        "    TargetNumberTo \"5999\"", "      TargetNumberTo \"3000\"",
        "  TargetNumberTo \"5999\"",   "    TargetNumberTo \"3000\"",
    };
    EXPECT_EQ(trace.lines, expected);
    EXPECT_EQ(CopyFieldTexts(*form), QStringList({"1", "3000", "3000", "3000"})) << "after";
}

TEST_F(CopyFieldsTest, RewrittenSourceCopiesIntoAFollowingTargetInsideItsRerun)
{
    RangeMode();
    form->NumberFrom->setText("10");
    form->NumberTo->setText("20");
    HandlerTrace trace(*form);
    form->NumberFrom->setText("-$10");
    const QStringList expected = {
        "NumberFrom \"-$10\"",
        "  NumberFrom \"1\"",
        "    TargetNumberFrom \"1\"",
    };
    EXPECT_EQ(trace.lines, expected);
    EXPECT_EQ(CopyFieldTexts(*form), QStringList({"1", "20", "1", "20"})) << "after";
}

} // namespace
