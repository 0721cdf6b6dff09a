#include "app/tform1.h"

#include "app/entry_name_text.h"
#include "huefile/colour.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/input_file.h"
#include "huefile/output_file.h"
#include "preview/preview_window.h"
#include "widgets/draw_grid.h"
#include "widgets/file_layer_name.h"
#include "widgets/picture_box.h"

#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpression>
#include <QShortcut>
#include <cstring>

namespace {

// The dialogs' filters in the order of the formats, each naming its extension.
const QStringList PaletteFilters = {"GIMP palette (*.gpl)", "JASC palette (*.pal)",
                                    "Hex colours (*.hex)", "JSON entry (*.json)",
                                    "PNG strip (*.png)"};

std::optional<PaletteFormat> FormatOfFilter(const QString &filter)
{
    const int index = PaletteFilters.indexOf(filter);
    if (index < 0)
        return std::nullopt;
    return AllPaletteFormats[index];
}

// The extension decides when it names a format, then the chosen filter.
std::optional<PaletteFormat> FormatOf(const QString &fileName, const QString &filter)
{
    if (const auto format = FormatFromExtension(FileLayerName(fileName)))
        return format;
    return FormatOfFilter(filter);
}

// Why an exchange with a palette file cannot start, or empty; a format not given comes from
// the file's name. After a load that failed the editor shows black while EditHue still holds
// another entry, whose colours, carried bytes and name must not travel either way.
QString WhyNoExchange(bool entryLoaded, const QString &fileName,
                      std::optional<PaletteFormat> &format)
{
    if (!entryLoaded)
        return "no entry is loaded into the editor";
    if (!format)
        format = FormatFromExtension(FileLayerName(fileName));
    if (!format)
        return "not a palette name (gpl, pal, hex, json or png)";
    return {};
}

} // namespace

void TForm1::ConnectEntryExchange()
{
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), this), &QShortcut::activated, this,
            &TForm1::ExportEntryClick);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), this), &QShortcut::activated, this,
            &TForm1::ImportEntryClick);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this), &QShortcut::activated, this,
            &TForm1::ShowPreviewClick);
    // The window's event filter, installed on the grid for its tooltips, takes the drops too.
    HueGridEdit->setAcceptDrops(true);
}

void TForm1::ExportEntryClick()
{
    QString filter = PaletteFilters.constFirst();
    QString fileName =
        QFileDialog::getSaveFileName(this, "Export the editor's entry", ProposedExportName(),
                                     PaletteFilters.join(";;"), &filter);
    if (fileName.isEmpty())
        return;
    const auto format = FormatOf(fileName, filter);
    if (format && !FormatFromExtension(FileLayerName(fileName)))
        fileName += "." + QString::fromStdString(FormatName(*format));
    ExportEntryTo(fileName, format);
}

// The entry as the editor shows it: its colours and the name in the field. The file appears
// whole or not at all, and a hue file is never the one written: neither of the two named in
// the window, nor any other, which the output file's own checks refuse.
bool TForm1::ExportEntryTo(const QString &fileName, std::optional<PaletteFormat> format)
{
    const auto refuse = [&](const QString &why) {
        AppendLogLine("!EXPORT " + ShortName(fileName) + ": " + why.toLatin1());
        return false;
    };
    if (const QString why = WhyNoExchange(EditHueLoaded, fileName, format); !why.isEmpty())
        return refuse(why);
    const std::string name = FileLayerName(fileName);
    if (SameFileOnDisk(name, ReadFileName()) || SameFileOnDisk(name, WriteFileName()))
        return refuse("a hue file is never overwritten");
    HueEntry shown = EditHue;
    StoreNameText(shown, aktHueName->text());
    const auto bytes = ExportEntry(shown, BrowserRow + 1, *format);
    if (!bytes)
        return refuse(QString::fromStdString(bytes.error()));
    const Expected<void> written = WriteOutputFile(name, FormatName(*format), *bytes);
    if (!written)
        return refuse(QString::fromLocal8Bit(written.error().c_str()));
    AppendLogLine("EXPORT    " + ShortName(fileName));
    LastExportFolder = QFileInfo(fileName).absolutePath();
    return true;
}

QString TForm1::ProposedExportName() const
{
    // A name may hold characters no file name may; an empty one would leave only ".gpl".
    QString name = aktHueName->text().trimmed();
    name.replace(QRegularExpression(R"([/\\:*?"<>|\x00-\x1f])"), "_");
    if (name.isEmpty())
        name = QString("entry %1").arg(BrowserRow + 1);
    const QDir folder(LastExportFolder.isEmpty() ? QDir::currentPath() : LastExportFolder);
    return folder.filePath(name + ".gpl");
}

void TForm1::ImportEntryClick()
{
    ImportFromDialog(false);
}

void TForm1::ImportKeepingNameClick()
{
    ImportFromDialog(true);
}

void TForm1::ImportFromDialog(bool keepName)
{
    QString filter;
    const QString fileName = QFileDialog::getOpenFileName(
        this,
        keepName ? "Import a palette into the editor, keeping the name"
                 : "Import a palette into the editor",
        QString(), (PaletteFilters + QStringList("All files (*)")).join(";;"), &filter);
    if (!fileName.isEmpty())
        ImportEntryFrom(fileName, FormatOf(fileName, filter), keepName);
}

// Like a mix: the entry changes in memory, the grid, range bar and name field follow, the
// held-back load line and the import's own line are logged, and autosave writes it. The picker
// takes the imported colour at the selected index, as after a load, so that "It´s fine" starts
// from it; the selected run stays. A palette of fewer than 32 colours starts at the current
// colour.
bool TForm1::ImportEntryFrom(const QString &fileName, std::optional<PaletteFormat> format,
                             bool keepName)
{
    const auto refuse = [&](const QString &why) {
        AppendLogLine("!IMPORT " + ShortName(fileName) + ": " + why.toLatin1());
        return false;
    };
    if (const QString why = WhyNoExchange(EditHueLoaded, fileName, format); !why.isEmpty())
        return refuse(why);
    const Expected<std::string> bytes =
        ReadInputFile(FileLayerInputName(fileName), MaxPaletteFileSize, PaletteTooLargeReason());
    if (!bytes)
        return refuse(QString::fromLocal8Bit(bytes.error().c_str()));
    ImportOptions options;
    options.keepName = keepName;
    options.at = CurrentColourIndex();
    options.nameAdvice = "\"Import keeping the name\" keeps the entry's";
    const auto imported = ImportPalette(*bytes, *format, EditHue, options);
    if (!imported)
        return refuse(QString::fromStdString(imported.error()));

    EditHue = imported->entry;
    const std::string summary = ImportSummary(*imported);
    FinishEditorChange(
        "IMPORT    " + ShortName(fileName) +
        (summary.empty() ? QByteArray() : " (" + QByteArray::fromStdString(summary) + ")"));
    return true;
}

QString TForm1::ShownEditHueSource() const
{
    if (!EditHueLoaded)
        return QString();
    return QString("entry %1 of %2")
        .arg(BrowserRow + 1)
        .arg(QFileInfo(FilenameWrite->text()).fileName());
}

void TForm1::ShowPreviewClick()
{
    if (!Preview)
        Preview = new PreviewWindow(this);
    Preview->setEntry(ShownEditHue(), ShownEditHueSource());
    Preview->show();
    Preview->raise();
    Preview->activateWindow();
}

// A palette file dropped onto the editor grid is imported as Ctrl+I would. A drag may carry
// the URL format with no URL in it, or a remote one; such a drop is ignored.
bool TForm1::HandleDrop(QEvent *event)
{
    const auto *dropped = static_cast<QDropEvent *>(event);
    const QList<QUrl> urls = dropped->mimeData()->urls();
    const bool localFile = !urls.isEmpty() && urls.constFirst().isLocalFile();
    if (event->type() == QEvent::DragEnter) {
        if (localFile)
            static_cast<QDragEnterEvent *>(event)->acceptProposedAction();
        return true;
    }
    if (!localFile)
        return false;
    static_cast<QDropEvent *>(event)->acceptProposedAction();
    ImportEntryFrom(urls.constFirst().toLocalFile(), std::nullopt);
    return true;
}
