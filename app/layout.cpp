#include "app/tform1.h"

#include "app/qt_colour.h"

#include "widgets/bevel_panel.h"
#include "widgets/draw_grid.h"
#include "widgets/hidden_tab_set.h"
#include "widgets/picture_box.h"
#include "widgets/track_bar.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

namespace {

// Fonts are given by pixel height. Where the named families are missing, fonts of the same
// widths stand in, so that the captions fit the fixed layout; without them the system's own
// sans serif and monospace fonts are used.
void SubstituteMissingFonts()
{
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial"});
    QFont::insertSubstitutions("Courier New", {"Liberation Mono", "Courier"});
}

QFont SansFont()
{
    SubstituteMissingFonts();
    QFont font("MS Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

// The grids show digits and entry names, which are Latin-1 and which the font holds whole, so
// no other font need stand by for missing characters; finding those costs more at start than
// the grids' own painting. File names, which may hold any character, use the sans font.
QFont MonoFont(int pixelHeight)
{
    QFont font("Courier New");
    font.setStyleHint(QFont::TypeWriter);
    font.setStyleStrategy(QFont::NoFontMerging);
    font.setPixelSize(pixelHeight);
    return font;
}

template <typename Control, typename... Args>
Control *Place(QWidget *parent, int left, int top, int width, int height, Args &&...args)
{
    auto *control = new Control(std::forward<Args>(args)..., parent);
    control->setGeometry(left, top, width, height);
    return control;
}

QLabel *PlaceLabel(QWidget *parent, const QString &caption, QRect geometry,
                   QWidget *focusTarget = nullptr)
{
    auto *label = new QLabel(caption, parent);
    label->setGeometry(geometry);
    // As the platform's labels do, a label grows from its left edge to fit its caption.
    label->resize(std::max(geometry.width(), label->sizeHint().width()), geometry.height());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (focusTarget)
        label->setBuddy(focusTarget);
    return label;
}

} // namespace

void TForm1::BuildLayout()
{
    setFont(SansFont());
    Image1 = Place<PictureBox>(this, 536, 10, 113, 89);
    BuildFileGroup();
    BuildCopyGroup();
    BuildLogGroup();
    BuildBrowserGroup();
    BuildEditorGroup();
    SetTabOrder();
}

void TForm1::BuildFileGroup()
{
    GroupBox1 = Place<QGroupBox>(this, 8, 8, 521, 89, "Define file names ");
    FilenameRead = Place<QLineEdit>(GroupBox1, 136, 24, 337, 21);
    GetFilenameRead = Place<QPushButton>(GroupBox1, 488, 24, 17, 21, "..");
    FilenameWrite = Place<QLineEdit>(GroupBox1, 136, 56, 337, 21);
    GetFilenameWrite = Place<QPushButton>(GroupBox1, 488, 56, 17, 21, "..");
    Label1 = PlaceLabel(GroupBox1, "File to &read from:", {8, 28, 78, 13}, FilenameRead);
    Label2 = PlaceLabel(GroupBox1, "File to &write and/or edit:", {8, 60, 111, 13}, FilenameWrite);
    for (QLabel *label : {Label1, Label2})
        SetRoleColour(label, QPalette::WindowText, Qt::black);
    for (QLineEdit *name : {FilenameRead, FilenameWrite})
        SetRoleColour(name, QPalette::Text, QColor(0xFF, 0, 0));
}

void TForm1::BuildCopyGroup()
{
    GroupBox2 = Place<QGroupBox>(this, 8, 104, 177, 153, "Select colors to copy ");
    GroupBox2->setEnabled(false);
    Only1Color = Place<QCheckBox>(GroupBox2, 8, 16, 161, 25, "Copy &only 1 Color");
    Only1Color->setChecked(true);
    Label5 = PlaceLabel(GroupBox2, "Read", {56, 48, 41, 13});
    TargetOther = Place<QCheckBox>(GroupBox2, 120, 48, 49, 17, "Write");
    NumberFrom = Place<QLineEdit>(GroupBox2, 56, 64, 41, 21, "1");
    Label3 = PlaceLabel(GroupBox2, "&Number", {8, 68, 37, 13}, NumberFrom);
    TargetNumberFrom = Place<QLineEdit>(GroupBox2, 120, 64, 41, 21, "1");
    Label4 = PlaceLabel(GroupBox2, "to", {32, 92, 9, 13});
    NumberTo = Place<QLineEdit>(GroupBox2, 56, 88, 41, 21, "3000");
    TargetNumberTo = Place<QLineEdit>(GroupBox2, 120, 88, 41, 21, "3000");
    const QColor inactiveCaptionText = palette().color(QPalette::Window);
    for (QLineEdit *field : {TargetNumberFrom, NumberTo, TargetNumberTo}) {
        field->setEnabled(false);
        SetRoleColour(field, QPalette::Base, inactiveCaptionText);
    }
    CopyColors = Place<QPushButton>(GroupBox2, 8, 120, 81, 25, "&Copy color(s)");
    CopyColors->setEnabled(false);
}

void TForm1::BuildLogGroup()
{
    GroupBox3 = Place<QGroupBox>(this, 8, 264, 177, 137, "Logging");
    MemoLog = Place<QPlainTextEdit>(GroupBox3, 2, 15, 173, 120);
    MemoLog->setReadOnly(true);
    MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TForm1::BuildBrowserGroup()
{
    GroupBox4 = Place<QGroupBox>(this, 192, 104, 457, 297, "Preview colors");
    HueGrid1 = Place<DrawGrid>(GroupBox4, 8, 16, 441, 273);
    // Row labels are plain digits in a monospaced font: they need no text shaping, which
    // would otherwise cost more than the rest of a painted row.
    QFont browserFont = MonoFont(11);
    browserFont.setStyleStrategy(
        QFont::StyleStrategy(browserFont.styleStrategy() | QFont::PreferNoShaping));
    HueGrid1->setFont(browserFont);
    HueGrid1->setDefaultColWidth(4);
    HueGrid1->setDefaultRowHeight(11);
}

void TForm1::BuildEditorGroup()
{
    GroupBox5 = Place<QGroupBox>(this, 8, 408, 641, 153, "Define target color");
    // The range bar is created first so that it lies behind the editor grid.
    ImageColorRange = Place<PictureBox>(GroupBox5, 118, 12, 289, 31);
    HueGridEdit = Place<DrawGrid>(GroupBox5, 8, 16, 401, 23);
    HueGridEdit->setColCount(33);
    HueGridEdit->setRowCount(1);
    HueGridEdit->setDefaultColWidth(8);
    HueGridEdit->setDefaultRowHeight(19);
    HueGridEdit->setVerticalScrollBarEnabled(false);
    HueGridEdit->setFont(MonoFont(13));
    SetRoleColour(HueGridEdit, QPalette::Text, Qt::black);
    aktHueName = Place<QLineEdit>(GroupBox5, 409, 16, 168, 24);
    aktHueName->setMaxLength(HueNameLength);
    aktHueName->setFont(MonoFont(13));
    PatchIt = Place<QPushButton>(GroupBox5, 584, 16, 49, 25, "Patch &it");
    Label6 = PlaceLabel(GroupBox5, "Get color on ...", {8, 48, 70, 13});
    RadioButtonGetColor1 = Place<QRadioButton>(GroupBox5, 16, 64, 81, 17, "&double click");
    RadioButtonGetColor2 = Place<QRadioButton>(GroupBox5, 16, 80, 113, 17, "cursor &position");
    RadioButtonGetColor2->setChecked(true);
    AutoSave = Place<QCheckBox>(GroupBox5, 8, 104, 73, 17, "&Autosave:");
    // The box sits on the right of its text.
    AutoSave->setLayoutDirection(Qt::RightToLeft);
    MixColorOkay = Place<QPushButton>(GroupBox5, 256, 55, 49, 25, QString::fromUtf8("It´s &fine"));
    MixColorOkay->setEnabled(false);
    SpreadColorOkay = Place<QPushButton>(GroupBox5, 224, 87, 81, 25, "&Spread is fine");
    SpreadColorOkay->setEnabled(false);
    BuildPicker();
}

void TForm1::BuildPicker()
{
    PreviewColor = Place<BevelPanel>(GroupBox5, 224, 56, 25, 25, BevelPanel::Bevel::Lowered,
                                     BevelPanel::Bevel::Lowered);
    PreviewColor->setColour(Qt::black);
    Panel1 = Place<BevelPanel>(GroupBox5, 312, 56, 204, 76, BevelPanel::Bevel::Raised,
                               BevelPanel::Bevel::Lowered);
    Panel1->setColour(palette().color(QPalette::Button));
    ImageColorSelectionRGB = Place<PictureBox>(Panel1, 6, 6, 192, 65);
    ImageColorSelectionRGB->setCursor(Qt::CrossCursor);
    TabSetColorPalette = Place<HiddenTabSet>(GroupBox5, 312, 130, 202, 17,
                                             QStringList{"&1: dark colors", "&2: bright colors"});
    TabSetColorPalette->setTabIndex(0);
    TabSetColorPalette->hide();
    const struct {
        QLineEdit *&edit;
        TrackBar *&bar;
        int left;
        QColor background;
    } channels[] = {{EditRED, TrackBarRED, 528, QColor(0xFF, 0, 0)},
                    {EditGREEN, TrackBarGREEN, 568, QColor(0, 0x80, 0)},
                    {EditBLUE, TrackBarBLUE, 608, QColor(0, 0, 0xFF)}};
    for (const auto &channel : channels) {
        channel.edit = Place<QLineEdit>(GroupBox5, channel.left, 56, 25, 21, "0");
        SetRoleColour(channel.edit, QPalette::Base, channel.background);
        SetRoleColour(channel.edit, QPalette::Text, Qt::white);
        channel.bar = Place<TrackBar>(GroupBox5, channel.left + 5, 77, 17, 64);
        channel.bar->setPosition(31);
    }
}

void TForm1::SetTabOrder()
{
    // Within each group box the keyboard moves in the order of the layout tables.
    // clang-format off
    QWidget *const order[] = {
        FilenameRead, GetFilenameRead, FilenameWrite, GetFilenameWrite,
        Only1Color, NumberFrom, NumberTo, TargetOther, TargetNumberFrom, TargetNumberTo, CopyColors,
        MemoLog,
        HueGrid1,
        HueGridEdit, aktHueName, PatchIt, RadioButtonGetColor1, RadioButtonGetColor2, AutoSave,
        MixColorOkay, SpreadColorOkay, EditRED, EditGREEN, EditBLUE,
        TrackBarRED, TrackBarGREEN, TrackBarBLUE};
    // clang-format on
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}
