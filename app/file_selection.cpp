#include "app/tform1.h"

#include "app/qt_colour.h"

#include "huefile/hue_file.h"
#include "widgets/draw_grid.h"
#include "widgets/find_bar.h"
#include "widgets/writable_files_only.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <exception>

namespace {

const QColor ValidNameColour(0x00, 0x80, 0x00);
const QColor InvalidNameColour(0xFF, 0x00, 0x00);

const char ReadFileFilter[] = "Patch-HUES.MUL (Color-File)|patch-hues.mul|any MUL-File|*.mul";
const char WriteFileFilter[] = "HUES.MUL (Color-File)|hues.mul|any MUL-File|*.mul";
const QSize OpenDialogSize(760, 460);

// A filter list of description|pattern pairs, as the dialog's name filters.
QStringList NameFilters(const QString &filter)
{
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + " (" + parts[i + 1] + ")";
    return filters;
}

} // namespace

void TForm1::ConnectFileSelection()
{
    ReadNameEncoded.follow(FilenameRead);
    WriteNameEncoded.follow(FilenameWrite);
    connect(FilenameRead, &QLineEdit::textChanged, this, &TForm1::FilenameReadChange);
    connect(FilenameWrite, &QLineEdit::textChanged, this, &TForm1::FilenameWriteChange);
    connect(GetFilenameRead, &QPushButton::clicked, this, &TForm1::GetFilenameReadClick);
    connect(GetFilenameWrite, &QPushButton::clicked, this, &TForm1::GetFilenameWriteClick);
    Label1->installEventFilter(this);
    Label2->installEventFilter(this);
}

const std::string &TForm1::ReadFileName() const
{
    return ReadNameEncoded.name();
}

const std::string &TForm1::WriteFileName() const
{
    return WriteNameEncoded.name();
}

void TForm1::FilenameReadChange()
{
    try {
        if (CanOpenHueFile(ReadFileName())) {
            SetRoleColour(FilenameRead, QPalette::Text, ValidNameColour);
            SetClientHeight(RowTargetValid ? ClientHeightFull : ClientHeightMedium);
            GroupBox2->setEnabled(true);
            GroupBox2->show();
            GroupBox3->show();
            GroupBox4->show();
            RefreshBrowser();
            FilenameWriteChange();
        } else {
            SetRoleColour(FilenameRead, QPalette::Text, InvalidNameColour);
            HideCopyLogAndBrowser();
            RefreshBrowser();
        }
    } catch (const std::exception &) {
        SetRoleColour(FilenameRead, QPalette::Text, InvalidNameColour);
        HideCopyLogAndBrowser();
    }
}

void TForm1::HideCopyLogAndBrowser()
{
    if (FindEntryBar)
        FindEntryBar->hide();
    SetClientHeight(ClientHeightSmall);
    GroupBox2->setEnabled(false);
    GroupBox2->hide();
    GroupBox3->hide();
    GroupBox4->hide();
}

void TForm1::FilenameWriteChange()
{
    try {
        if (CanOpenHueFile(WriteFileName())) {
            SetRoleColour(FilenameWrite, QPalette::Text, ValidNameColour);
            CopyColors->setEnabled(GroupBox2->isEnabled());
            SetClientHeight(ClientHeight() <= ClientHeightSmall ? ClientHeightMedium
                                                                : ClientHeightFull);
            // The browser's current entry, which is entry 1 at start-up: the editor's entry is
            // always the one a write-back goes to. The name is valid while another process writes
            // the file; only the load waits for that write, and fails as the browser's does.
            if (!EditHueLoaded) {
                const ReadOutcome outcome =
                    LoadEntryFromFile(WriteFileName(), BrowserRow + 1, EditHue, WindowLockWait);
                if (outcome == ReadOutcome::Locked)
                    AppendLogLine("!ERROR");
                if (outcome == ReadOutcome::Read || outcome == ReadOutcome::NoRecord) {
                    EditHueHeldIn = outcome == ReadOutcome::Read ? WriteFileName() : std::string();
                    EditHueLoaded = true;
                    NoteEditorLoad(BrowserRow + 1, &EditHue);
                }
            }
        } else {
            SetRoleColour(FilenameWrite, QPalette::Text, InvalidNameColour);
            CopyColors->setEnabled(false);
            SetClientHeight(ClientHeightMedium);
        }
        RefreshBrowser();
        RefreshHueGridEdit();
    } catch (const std::exception &) {
        SetRoleColour(FilenameWrite, QPalette::Text, InvalidNameColour);
        CopyColors->setEnabled(false);
    }
}

void TForm1::GetFilenameReadClick()
{
    ChooseFile(FilenameRead, ReadFileFilter, "Choose the file to read from");
}

void TForm1::GetFilenameWriteClick()
{
    ChooseFile(FilenameWrite, WriteFileFilter, "Choose the file to write and/or edit");
}

// Built on the first choice: a file dialog costs more to build than the rest of the window,
// and many sessions never open one. The toolkit's own dialog, because only its list can be
// filtered: a file that cannot be written is not offered at all.
QFileDialog *TForm1::BuildOpenDialog()
{
    if (!OpenDialog) {
        OpenDialog = new QFileDialog(this);
        OpenDialog->setOption(QFileDialog::DontUseNativeDialog);
        OpenDialog->setFileMode(QFileDialog::ExistingFile);
        OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
        OpenDialog->setProxyModel(new WritableFilesOnly(OpenDialog));
        // The detailed list, with its size, type and date columns as wide as what they show
        // and the name taking the rest.
        OpenDialog->setViewMode(QFileDialog::Detail);
        OpenDialog->resize(OpenDialogSize);
        if (auto *list = OpenDialog->findChild<QTreeView *>()) {
            list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
            list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        }
    }
    return OpenDialog;
}

// The dialog lists only files that can be written. A read-only name typed into it by hand
// is not taken: the dialog simply stays open for another choice.
void TForm1::ChooseFile(QLineEdit *name, const char *filter, const QString &title)
{
    BuildOpenDialog()->setNameFilters(NameFilters(filter));
    OpenDialog->setWindowTitle(title);
    for (;;) {
        if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
            return;
        const QString chosen = OpenDialog->selectedFiles().constFirst();
        if (IsWritableByUser(chosen)) {
            name->setText(QDir::toNativeSeparators(chosen));
            return;
        }
    }
}

void TForm1::Label1Click()
{
    FilenameRead->setFocus(Qt::MouseFocusReason);
}

void TForm1::Label2Click()
{
    FilenameWrite->setFocus(Qt::MouseFocusReason);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip && ShowToolTip(watched, static_cast<QHelpEvent *>(event)))
        return true;
    if (watched == HueGridEdit &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop))
        return HandleDrop(event);
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == Label1)
            Label1Click();
        else if (watched == Label2)
            Label2Click();
    }
    return QWidget::eventFilter(watched, event);
}
