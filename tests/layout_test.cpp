#include "support/test_support.h"

#include "widgets/bevel_panel.h"
#include "widgets/draw_grid.h"
#include "widgets/hidden_tab_set.h"
#include "widgets/picture_box.h"
#include "widgets/track_bar.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

struct Placement {
    const char *name;
    QWidget *control;
    QWidget *parent;
    QRect geometry;
    QString caption;
};

QString CaptionOf(QWidget *control)
{
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(control))
        return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return edit->text();
    if (auto *group = qobject_cast<QGroupBox *>(control))
        return group->title();
    return {};
}

std::vector<Placement> LayoutTable(TForm1 &f)
{
    const QString fine = QString::fromUtf8("It´s &fine");
    return {
        {"Image1", f.Image1, &f, {536, 10, 113, 89}, ""},
        {"GroupBox1", f.GroupBox1, &f, {8, 8, 521, 89}, "Define file names "},
        {"Label1", f.Label1, f.GroupBox1, {8, 28, 78, 13}, "File to &read from:"},
        {"Label2", f.Label2, f.GroupBox1, {8, 60, 111, 13}, "File to &write and/or edit:"},
        {"FilenameRead", f.FilenameRead, f.GroupBox1, {136, 24, 337, 21}, "patch-hues.mul"},
        {"GetFilenameRead", f.GetFilenameRead, f.GroupBox1, {488, 24, 17, 21}, ".."},
        {"FilenameWrite", f.FilenameWrite, f.GroupBox1, {136, 56, 337, 21}, "hues.mul"},
        {"GetFilenameWrite", f.GetFilenameWrite, f.GroupBox1, {488, 56, 17, 21}, ".."},
        {"GroupBox2", f.GroupBox2, &f, {8, 104, 177, 153}, "Select colors to copy "},
        {"Only1Color", f.Only1Color, f.GroupBox2, {8, 16, 161, 25}, "Copy &only 1 Color"},
        {"Label5", f.Label5, f.GroupBox2, {56, 48, 41, 13}, "Read"},
        {"TargetOther", f.TargetOther, f.GroupBox2, {120, 48, 49, 17}, "Write"},
        {"Label3", f.Label3, f.GroupBox2, {8, 68, 37, 13}, "&Number"},
        {"NumberFrom", f.NumberFrom, f.GroupBox2, {56, 64, 41, 21}, "1"},
        {"TargetNumberFrom", f.TargetNumberFrom, f.GroupBox2, {120, 64, 41, 21}, "1"},
        {"Label4", f.Label4, f.GroupBox2, {32, 92, 9, 13}, "to"},
        {"NumberTo", f.NumberTo, f.GroupBox2, {56, 88, 41, 21}, "3000"},
        {"TargetNumberTo", f.TargetNumberTo, f.GroupBox2, {120, 88, 41, 21}, "3000"},
        {"CopyColors", f.CopyColors, f.GroupBox2, {8, 120, 81, 25}, "&Copy color(s)"},
        {"GroupBox3", f.GroupBox3, &f, {8, 264, 177, 137}, "Logging"},
        {"MemoLog", f.MemoLog, f.GroupBox3, {2, 15, 173, 120}, ""},
        {"GroupBox4", f.GroupBox4, &f, {192, 104, 457, 297}, "Preview colors"},
        {"HueGrid1", f.HueGrid1, f.GroupBox4, {8, 16, 441, 273}, ""},
        {"GroupBox5", f.GroupBox5, &f, {8, 408, 641, 153}, "Define target color"},
        {"HueGridEdit", f.HueGridEdit, f.GroupBox5, {8, 16, 401, 23}, ""},
        {"aktHueName", f.aktHueName, f.GroupBox5, {409, 16, 168, 24}, f.aktHueName->text()},
        {"PatchIt", f.PatchIt, f.GroupBox5, {584, 16, 49, 25}, "Patch &it"},
        {"ImageColorRange", f.ImageColorRange, f.GroupBox5, {118, 12, 289, 31}, ""},
        {"Label6", f.Label6, f.GroupBox5, {8, 48, 70, 13}, "Get color on ..."},
        {"RadioButtonGetColor1", f.RadioButtonGetColor1, f.GroupBox5, {16, 64, 81, 17},
         "&double click"},
        {"RadioButtonGetColor2", f.RadioButtonGetColor2, f.GroupBox5, {16, 80, 113, 17},
         "cursor &position"},
        {"AutoSave", f.AutoSave, f.GroupBox5, {8, 104, 73, 17}, "&Autosave:"},
        {"PreviewColor", f.PreviewColor, f.GroupBox5, {224, 56, 25, 25}, ""},
        {"MixColorOkay", f.MixColorOkay, f.GroupBox5, {256, 55, 49, 25}, fine},
        {"SpreadColorOkay", f.SpreadColorOkay, f.GroupBox5, {224, 87, 81, 25}, "&Spread is fine"},
        {"Panel1", f.Panel1, f.GroupBox5, {312, 56, 204, 76}, ""},
        {"ImageColorSelectionRGB", f.ImageColorSelectionRGB, f.Panel1, {6, 6, 192, 65}, ""},
        {"TabSetColorPalette", f.TabSetColorPalette, f.GroupBox5, {312, 130, 202, 17}, ""},
        {"EditRED", f.EditRED, f.GroupBox5, {528, 56, 25, 21}, "0"},
        {"EditGREEN", f.EditGREEN, f.GroupBox5, {568, 56, 25, 21}, "0"},
        {"EditBLUE", f.EditBLUE, f.GroupBox5, {608, 56, 25, 21}, "0"},
        {"TrackBarRED", f.TrackBarRED, f.GroupBox5, {533, 77, 17, 64}, ""},
        {"TrackBarGREEN", f.TrackBarGREEN, f.GroupBox5, {573, 77, 17, 64}, ""},
        {"TrackBarBLUE", f.TrackBarBLUE, f.GroupBox5, {613, 77, 17, 64}, ""},
    };
}

TEST(Layout, EveryControlSitsWhereTheLayoutTablesPutIt)
{
    TempFolder folder;
    WriteHueFile("patch-hues.mul", 3000);
    WriteHueFile("hues.mul", 2500);
    auto form = ShowForm();
    EXPECT_EQ(form->size(), QSize(657, 569));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the window is not resizable";
    for (const Placement &p : LayoutTable(*form)) {
        ASSERT_NE(p.control, nullptr) << p.name;
        EXPECT_EQ(p.control->parentWidget(), p.parent) << p.name;
        // A label keeps its left, top and height and grows to the right to fit its text.
        if (qobject_cast<QLabel *>(p.control)) {
            const QRect at = p.control->geometry();
            EXPECT_EQ(QRect(at.topLeft(), QSize(p.geometry.width(), at.height())), p.geometry)
                << p.name;
            EXPECT_GE(at.width(), p.geometry.width()) << p.name;
        } else {
            EXPECT_EQ(p.control->geometry(), p.geometry) << p.name;
        }
        EXPECT_EQ(CaptionOf(p.control), p.caption) << p.name;
    }
}

TEST(Layout, InitialStatesOfTheControls)
{
    TempFolder folder;
    auto form = ShowForm();
    EXPECT_TRUE(form->Only1Color->isChecked());
    EXPECT_FALSE(form->TargetOther->isChecked());
    EXPECT_FALSE(form->NumberTo->isEnabled());
    EXPECT_FALSE(form->TargetNumberFrom->isEnabled());
    EXPECT_FALSE(form->TargetNumberTo->isEnabled());
    EXPECT_FALSE(form->CopyColors->isEnabled());
    EXPECT_TRUE(form->RadioButtonGetColor2->isChecked());
    EXPECT_FALSE(form->AutoSave->isChecked());
    EXPECT_TRUE(form->PatchIt->isEnabled());
    EXPECT_FALSE(form->MixColorOkay->isEnabled());
    EXPECT_FALSE(form->SpreadColorOkay->isEnabled());
    EXPECT_EQ(form->aktHueName->maxLength(), 20);
    EXPECT_TRUE(form->MemoLog->isReadOnly());
    EXPECT_EQ(form->MemoLog->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_FALSE(form->TabSetColorPalette->isVisible());
    EXPECT_EQ(form->TabSetColorPalette->tabIndex(), 0);
    for (TrackBar *bar : {form->TrackBarRED, form->TrackBarGREEN, form->TrackBarBLUE})
        EXPECT_EQ(bar->position(), 31);
    EXPECT_EQ(form->PreviewColor->colour(), QColor(Qt::black));
    const QColor inactiveCaptionText = form->palette().color(QPalette::Window);
    for (QLineEdit *field : {form->NumberTo, form->TargetNumberFrom, form->TargetNumberTo})
        EXPECT_EQ(field->palette().color(QPalette::Base), inactiveCaptionText);
}

TEST(Layout, GridsHaveTheirColumnsAndRows)
{
    TempFolder folder;
    auto form = ShowForm();
    EXPECT_EQ(form->HueGrid1->colCount(), 66);
    EXPECT_EQ(form->HueGrid1->rowCount(), 3000);
    EXPECT_EQ(form->HueGrid1->colWidth(0), 88);
    EXPECT_EQ(form->HueGrid1->colWidth(1), 4);
    EXPECT_EQ(form->HueGrid1->colWidth(33), 9);
    EXPECT_EQ(form->HueGrid1->defaultRowHeight(), 11);
    EXPECT_EQ(form->HueGridEdit->colCount(), 33);
    EXPECT_EQ(form->HueGridEdit->rowCount(), 1);
    EXPECT_EQ(form->HueGridEdit->colWidth(0), 108);
    EXPECT_EQ(form->HueGridEdit->colWidth(32), 8);
    EXPECT_EQ(form->HueGridEdit->defaultRowHeight(), 19);
    EXPECT_EQ(form->HueGridEdit->tag(), 0);
}

} // namespace
