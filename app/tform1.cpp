#include "app/tform1.h"

#include "app/logo.h"
#include "app/qt_colour.h"
#include "widgets/draw_grid.h"
#include "widgets/mnemonics.h"
#include "widgets/picture_box.h"

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>

TForm1::TForm1(QWidget *parent) : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle("Colvane - hue files");
    BuildLayout();
    Image1->setPicture(MakeLogo(qApp->devicePixelRatio()));
    QIcon icon;
    // The sizes a title bar and a task switcher ask for; the installed icon has the large ones.
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(MakeIcon(size)));
    setWindowIcon(icon);
    SetClientHeight(ClientHeightFull);
    Mnemonics = new MnemonicFilter(this);

    ConnectFileSelection();
    ConnectCopy();
    ConnectBrowser();
    ConnectEditorGrid();
    ConnectPicker();
    ConnectRangeBar();
    ConnectWriteBack();
    ConnectUndo();
    ConnectFind();
    ConnectDifferences();
    ConnectToolTips();
    ConnectBrowserMenu();
    ConnectEntryExchange();
    ConnectPatchActions();
    ConnectColourClipboard();
    ConnectFileNotices();
    LoadStoredPalette();

    PendingLogLine.clear();
    RecolourLogo();
    CachedRow = -1;
    EditHueLoaded = false;
    HueGrid1->setColCount(66);
    HueGrid1->setRowCount(MaxEntryNumber);
    HueGrid1->setColWidth(0, 88);
    HueGrid1->setColWidth(33, 9);
    HueGridEdit->setColWidth(0, 108);
    HueGridEdit->setTag(0);
    SetClientHeight(ClientHeightSmall);
    GroupBox2->hide();
    GroupBox3->hide();
    GroupBox4->hide();
    EditColourIndex = -1;
    DrawColorRange(-1, -1, false);
    // Each assignment runs the file check of its field.
    FilenameRead->setText("patch-hues.mul");
    FilenameWrite->setText("hues.mul");
}

TForm1::~TForm1()
{
    DisconnectFileNotices();
}

int TForm1::ClientHeight() const
{
    return height();
}

void TForm1::SetClientHeight(int height)
{
    setFixedSize(ClientWidth, height);
}

// The logo's background follows the system's button-face colour: the area connected to the
// corner is recoloured, other pixels of the same colour keep theirs.
void TForm1::RecolourLogo()
{
    Image1->floodFill(0, 0, palette().color(QPalette::Button));
}
