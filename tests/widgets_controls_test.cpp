#include "support/input.h"
#include "widgets/bevel_panel.h"
#include "widgets/draw_grid.h"
#include "widgets/hidden_tab_set.h"
#include "widgets/mnemonics.h"
#include "widgets/picture_box.h"
#include "widgets/track_bar.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <deque>
#include <memory>
#include <ostream>
#include <vector>

namespace {

// Track bar ---------------------------------------------------------------------------------

TEST(TrackBar, SetPositionIsSilentAndClamped)
{
    TrackBar bar;
    int changes = 0;
    QObject::connect(&bar, &TrackBar::changed, [&] { ++changes; });
    const std::pair<int, int> cases[] = {{5, 5}, {-3, 0}, {31, 31}, {40, 31}, {0, 0}};
    for (const auto &[set, expected] : cases) {
        bar.setPosition(set);
        EXPECT_EQ(bar.position(), expected) << "set " << set;
    }
    EXPECT_EQ(changes, 0);
}

TEST(TrackBar, KeysMoveTowardsTheTopAndReportAfterTheMove)
{
    QWidget window;
    auto *bar = new TrackBar(&window);
    bar->setGeometry(10, 10, 17, 64);
    ShowActive(&window);
    bar->setFocus();
    struct Step {
        Qt::Key key;
        int expected;
    };
    const Step steps[] = {{Qt::Key_Up, 9},        {Qt::Key_PageUp, 7}, {Qt::Key_Down, 8},
                          {Qt::Key_PageDown, 10}, {Qt::Key_Left, 9},   {Qt::Key_Right, 10}};
    bar->setPosition(10);
    std::vector<int> reported;
    QObject::connect(bar, &TrackBar::changed, [&] { reported.push_back(bar->position()); });
    for (const Step &step : steps) {
        reported.clear();
        QTest::keyClick(bar, step.key);
        EXPECT_EQ(reported, std::vector<int>{step.expected}) << "key " << step.key;
    }
}

// A click below the thumb moves it down, towards 31, which only holds with position 0 on top.
TEST(TrackBar, ClickBesideTheThumbMovesByTwoTowardsTheClick)
{
    QWidget window;
    auto *bar = new TrackBar(&window);
    bar->setGeometry(10, 10, 17, 64);
    ShowActive(&window);
    std::vector<int> reported;
    QObject::connect(bar, &TrackBar::changed, [&] { reported.push_back(bar->position()); });
    const std::pair<int, int> clicks[] = {{bar->height() - 2, 17}, {1, 13}};
    for (const auto &[y, expected] : clicks) {
        bar->setPosition(15);
        reported.clear();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, y));
        EXPECT_EQ(reported, std::vector<int>{expected}) << "click at y " << y;
        // The other buttons move nothing.
        for (const Qt::MouseButton other : {Qt::MiddleButton, Qt::RightButton})
            QTest::mouseClick(bar, other, {}, QPoint(bar->width() / 2, y));
        EXPECT_EQ(reported, std::vector<int>{expected}) << "other buttons at y " << y;
    }
}

// Picture box -------------------------------------------------------------------------------

QImage FilledImage(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(PictureBox, FillRectExcludesRightAndBottomAndClipsToThePicture)
{
    PictureBox box;
    box.setPicture(FilledImage(10, 8, Qt::white));
    box.fillRect(2, 3, 5, 6, Qt::red);
    box.fillRect(8, -4, 30, 2, Qt::blue);
    box.fillRect(5, 5, 5, 8, Qt::green);
    box.fillRect(7, 6, 6, 7, Qt::green);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            QColor expected = Qt::white;
            if (x >= 2 && x < 5 && y >= 3 && y < 6)
                expected = Qt::red;
            if (x >= 8 && y < 2)
                expected = Qt::blue;
            EXPECT_EQ(box.pixel(x, y), expected) << "pixel " << x << "," << y;
        }
    EXPECT_EQ(box.picture().size(), QSize(10, 8));
}

TEST(PictureBox, DrawingOnAnEmptyPictureCreatesAWhiteSurfaceOfTheControlsSize)
{
    PictureBox box;
    box.resize(289, 31);
    box.fillRect(0, 0, 9, 4, QColor(0x12, 0x34, 0x56));
    ASSERT_EQ(box.picture().size(), QSize(289, 31));
    EXPECT_EQ(box.pixel(8, 3), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(box.pixel(9, 3), QColor(Qt::white));
    EXPECT_EQ(box.pixel(288, 30), QColor(Qt::white));
}

TEST(PictureBox, FloodFillRecolsOnlyTheConnectedArea)
{
    // A ring of black splits the white picture into an outside and an inside; a diagonal
    // gap does not connect them.
    PictureBox box;
    box.setPicture(FilledImage(9, 9, Qt::white));
    box.fillRect(2, 2, 7, 3, Qt::black);
    box.fillRect(2, 6, 7, 7, Qt::black);
    box.fillRect(2, 2, 3, 7, Qt::black);
    box.fillRect(6, 2, 7, 7, Qt::black);
    box.fillRect(6, 2, 7, 3, Qt::white);
    const QColor face(0xF0, 0xF0, 0xF0);
    box.floodFill(0, 0, face);
    EXPECT_EQ(box.pixel(8, 8), face);
    EXPECT_EQ(box.pixel(6, 2), face) << "the notch in the corner belongs to the outside";
    EXPECT_EQ(box.pixel(4, 4), QColor(Qt::white)) << "touches the notch only diagonally";
    EXPECT_EQ(box.pixel(2, 2), QColor(Qt::black));
}

TEST(PictureBox, FloodFillCoversALargeAreaWithoutRecursion)
{
    PictureBox box;
    box.setPicture(FilledImage(1000, 1000, Qt::white));
    box.floodFill(500, 500, Qt::green);
    EXPECT_EQ(box.pixel(0, 0), QColor(Qt::green));
    EXPECT_EQ(box.pixel(999, 999), QColor(Qt::green));
}

// The fill that the window's logo relies on, against the plainest fill there is: every
// pixel reached through its four neighbours, one at a time.
QImage FilledByNeighbours(QImage image, QPoint start, QRgb replacement)
{
    const QRgb target = image.pixel(start);
    if (target == replacement)
        return image;
    std::deque<QPoint> pending{start};
    while (!pending.empty()) {
        const QPoint p = pending.front();
        pending.pop_front();
        if (!image.valid(p) || image.pixel(p) != target)
            continue;
        image.setPixel(p, replacement);
        for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
            pending.push_back(p + step);
    }
    return image;
}

RC_GTEST_PROP(PictureBox, FloodFillRecoloursExactlyTheAreaConnectedToTheStart, ())
{
    const int width = *rc::gen::inRange(1, 24);
    const int height = *rc::gen::inRange(1, 24);
    // Two colours only, so that areas meet and part in every shape.
    const auto pixels =
        *rc::gen::container<std::vector<bool>>(width * height, rc::gen::arbitrary<bool>());
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, pixels[y * width + x] ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const QPoint start(*rc::gen::inRange(0, width), *rc::gen::inRange(0, height));
    PictureBox box;
    box.setPicture(picture);
    box.floodFill(start.x(), start.y(), QColor(0x12, 0x34, 0x56));
    RC_ASSERT(box.picture() == FilledByNeighbours(picture, start, qRgb(0x12, 0x34, 0x56)));
}

TEST(PictureBox, ButtonPressedOnItKeepsReportingOutsideItsArea)
{
    QWidget window;
    window.resize(300, 200);
    auto *box = new PictureBox(&window);
    box->setGeometry(50, 50, 100, 60);
    ShowActive(&window);
    QStringList events;
    QObject::connect(box, &PictureBox::mousePressed,
                     [&](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) {
                         events << QString("press %1 %2,%3").arg(button).arg(pos.x()).arg(pos.y());
                     });
    QObject::connect(box, &PictureBox::mouseMoved, [&](Qt::KeyboardModifiers, const QPoint &pos) {
        events << QString("move %1,%2").arg(pos.x()).arg(pos.y());
    });
    QObject::connect(
        box, &PictureBox::mouseReleased,
        [&](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) {
            events << QString("release %1 %2,%3").arg(button).arg(pos.x()).arg(pos.y());
        });
    QWindow *handle = window.windowHandle();
    QTest::mouseMove(handle, QPoint(60, 70));
    QTest::mousePress(handle, Qt::MiddleButton, {}, QPoint(60, 70));
    QTest::mouseMove(handle, QPoint(20, 150));
    QTest::mouseMove(handle, QPoint(250, 10));
    QTest::mouseRelease(handle, Qt::MiddleButton, {}, QPoint(250, 10));
    QTest::mouseMove(handle, QPoint(20, 150));
    const QStringList expected{"move 10,20", QString("press %1 10,20").arg(Qt::MiddleButton),
                               "move -30,100", "move 200,-40",
                               QString("release %1 200,-40").arg(Qt::MiddleButton)};
    EXPECT_EQ(events, expected);
}

// Bevel panel -------------------------------------------------------------------------------

TEST(BevelPanel, KeepsItsColourExactlyInsideItsBevels)
{
    using Bevel = BevelPanel::Bevel;
    BevelPanel panel(Bevel::Raised, Bevel::Lowered);
    panel.resize(25, 25);
    const QColor colour(0x07, 0x81, 0xFE);
    panel.setColour(colour);
    EXPECT_EQ(panel.colour(), colour);
    const QImage image = panel.grab().toImage();
    const QRgb shadow = panel.palette().color(QPalette::Dark).rgb();
    const QRgb light = panel.palette().color(QPalette::Light).rgb();
    // Outer lowered bevel, then inner raised bevel, on each side.
    const std::pair<QPoint, QRgb> pixels[] = {
        {{5, 0}, shadow},       {{5, 1}, light},          {{0, 5}, shadow}, {{1, 5}, light},
        {{5, 24}, light},       {{5, 23}, shadow},        {{24, 5}, light}, {{23, 5}, shadow},
        {{2, 2}, colour.rgb()}, {{22, 22}, colour.rgb()},
    };
    for (const auto &[point, expected] : pixels)
        EXPECT_EQ(image.pixel(point), expected) << "pixel " << point.x() << "," << point.y();
}

// Hidden tab set ----------------------------------------------------------------------------

TEST(HiddenTabSet, SelectByMnemonicAsksBeforeChangingAndIgnoresTheSelectedTab)
{
    HiddenTabSet tabs({"&1: dark colors", "&2: bright colors", "no key"});
    std::vector<std::pair<int, int>> asked;
    bool allow = true;
    QObject::connect(&tabs, &HiddenTabSet::changing, [&](int newTab, bool *allowChange) {
        asked.emplace_back(newTab, tabs.tabIndex());
        *allowChange = allow;
    });
    EXPECT_TRUE(tabs.selectByMnemonic('1'));
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(tabs.selectByMnemonic('2'));
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{1, 0}})) << "asked before the change";
    EXPECT_EQ(tabs.tabIndex(), 1);
    allow = false;
    EXPECT_TRUE(tabs.selectByMnemonic('1'));
    EXPECT_EQ(tabs.tabIndex(), 1);
    EXPECT_FALSE(tabs.selectByMnemonic('n'));
    EXPECT_FALSE(tabs.selectByMnemonic(QChar()));
    tabs.setTabIndex(0);
    EXPECT_EQ(asked.size(), 2u) << "setTabIndex is silent";
}

TEST(MnemonicKey, FindsTheMarkedCharacter)
{
    const std::pair<const char *, QChar> cases[] = {
        {"&Copy color(s)", 'C'}, {"Patch &it", 'i'},  {"It\u00B4s &fine", 'f'},
        {"Fish && &Chips", 'C'}, {"A && B", QChar()}, {"trailing &", QChar()},
        {"", QChar()},
    };
    for (const auto &[caption, expected] : cases)
        EXPECT_EQ(MnemonicKey(QString::fromUtf8(caption)), expected) << caption;
}

// Accelerators ------------------------------------------------------------------------------

class Accelerators : public ::testing::Test {
protected:
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QPushButton *copy = new QPushButton("&Copy color(s)", window.get());
    QPushButton *hidden = new QPushButton("&Hidden", window.get());
    QCheckBox *autoSave = new QCheckBox("&Autosave:", window.get());
    QRadioButton *position = new QRadioButton("cursor &position", window.get());
    QLabel *label = new QLabel("&Number", window.get());
    QLineEdit *number = new QLineEdit(window.get());
    QPlainTextEdit *log = new QPlainTextEdit(window.get());
    DrawGrid *grid = new DrawGrid(window.get());
    HiddenTabSet *tabs = new HiddenTabSet({"&1: dark colors", "&2: bright colors"}, window.get());
    int clicks = 0;
    std::vector<int> tabChanges;

    void SetUp() override
    {
        new MnemonicFilter(window.get());
        copy->setGeometry(0, 0, 80, 25);
        autoSave->setGeometry(0, 30, 80, 20);
        position->setGeometry(0, 50, 80, 20);
        label->setGeometry(0, 70, 40, 13);
        number->setGeometry(40, 70, 40, 21);
        log->setReadOnly(true);
        log->setGeometry(0, 100, 80, 40);
        grid->setGeometry(100, 0, 100, 40);
        label->setBuddy(number);
        QObject::connect(copy, &QPushButton::clicked, [this] { ++clicks; });
        QObject::connect(tabs, &HiddenTabSet::changing,
                         [this](int newTab, bool *) { tabChanges.push_back(newTab); });
        ShowActive(window.get());
        hidden->hide();
        tabs->hide();
    }
};

TEST_F(Accelerators, AltLetterClicksAButtonOnceAndAtOnce)
{
    number->setFocus();
    QTest::keyClick(number, Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(clicks, 1) << "clicked exactly once before the key event returned";
    QApplication::processEvents();
    QTest::qWait(300);
    EXPECT_EQ(clicks, 1) << "no second, delayed click";
    EXPECT_EQ(number->text(), QString());
}

TEST_F(Accelerators, LetterAloneActsOnlyWhileTheFocusTakesNoCharacters)
{
    autoSave->setFocus();
    QTest::keyClick(autoSave, Qt::Key_C);
    EXPECT_EQ(clicks, 1);

    for (QWidget *typing : std::initializer_list<QWidget *>{number, log}) {
        typing->setFocus();
        QTest::keyClick(typing, Qt::Key_C);
        EXPECT_EQ(clicks, 1) << typing->metaObject()->className();
    }
    EXPECT_EQ(number->text(), QString("c")) << "the character is typed instead";

    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_C);
    EXPECT_EQ(clicks, 2);
}

TEST_F(Accelerators, CheckBoxTogglesRadioButtonIsChosenLabelFocusesItsBuddy)
{
    copy->setFocus();
    QTest::keyClick(copy, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(autoSave->isChecked());
    EXPECT_TRUE(autoSave->hasFocus());
    QTest::keyClick(autoSave, Qt::Key_A);
    EXPECT_FALSE(autoSave->isChecked());

    QTest::keyClick(autoSave, Qt::Key_P, Qt::AltModifier);
    EXPECT_TRUE(position->isChecked());

    QTest::keyClick(position, Qt::Key_N);
    EXPECT_TRUE(number->hasFocus());
}

TEST_F(Accelerators, HiddenOrDisabledControlsDoNotReact)
{
    int hiddenClicks = 0;
    QObject::connect(hidden, &QPushButton::clicked, [&] { ++hiddenClicks; });
    copy->setFocus();
    QTest::keyClick(copy, Qt::Key_H, Qt::AltModifier);
    QTest::keyClick(copy, Qt::Key_H);
    EXPECT_EQ(hiddenClicks, 0);

    copy->setEnabled(false);
    autoSave->setFocus();
    QTest::keyClick(autoSave, Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(clicks, 0);

    number->setEnabled(false);
    QTest::keyClick(autoSave, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(autoSave->hasFocus()) << "a label whose buddy is disabled does nothing";
}

TEST_F(Accelerators, HiddenTabSetKeepsItsAccelerators)
{
    number->setFocus();
    QTest::keyClick(number, Qt::Key_1, Qt::AltModifier);
    EXPECT_TRUE(tabChanges.empty()) << "tab 0 is already selected";
    QTest::keyClick(number, Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(tabChanges, std::vector<int>{1});
    EXPECT_EQ(tabs->tabIndex(), 1);

    copy->setFocus();
    QTest::keyClick(copy, Qt::Key_2);
    EXPECT_EQ(tabChanges, std::vector<int>{1});
    QTest::keyClick(copy, Qt::Key_1);
    EXPECT_EQ(tabChanges, (std::vector<int>{1, 0}));
    EXPECT_EQ(tabs->tabIndex(), 0);

    number->setFocus();
    QTest::keyClick(number, Qt::Key_2);
    EXPECT_EQ(tabs->tabIndex(), 0);
    EXPECT_EQ(number->text(), QString("2"));
}

TEST_F(Accelerators, KeysOfAnotherWindowAreLeftAlone)
{
    QWidget other;
    auto *button = new QPushButton("&Copy", &other);
    int otherClicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++otherClicks; });
    ShowActive(&other);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_C);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(otherClicks, 0);
}

} // namespace
