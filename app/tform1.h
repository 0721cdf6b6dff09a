#pragma once

#include "app/encoded_name.h"
#include "browser/label_pixels.h"
#include "huefile/file_notices.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/hue_entry.h"
#include "huefile/write_journal.h"
#include "huefile/write_history.h"

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QStaticText>
#include <QWidget>
#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

class QCheckBox;
class QFileDialog;
class QGroupBox;
class QHelpEvent;
class QLabel;
class QLineEdit;
class QMimeData;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class BevelPanel;
class DrawGrid;
class FindBar;
class PreviewWindow;
class HiddenTabSet;
class MnemonicFilter;
class PictureBox;
class TrackBar;

constexpr int ClientWidth = 657;
constexpr int ClientHeightSmall = 106;
constexpr int ClientHeightMedium = 408;
constexpr int ClientHeightFull = 569;

// How long the window's reads and writes wait for another process's write to the same file to
// end. A script's operation takes milliseconds; a user's action should not fail for a short
// overlap, and the window should not stand still for long either.
constexpr auto WindowLockWait = std::chrono::milliseconds(250);

// The window's writes of many entries are kept against power cuts, as a script's are. Its
// one-entry writes are kept against a kill alone: autosave writes at every keystroke, and a
// flush costs more than the write.
constexpr Flushes WindowFlushes(std::size_t entries)
{
    return entries > 1 ? Flushes::PowerCut : Flushes::KillOnly;
}

// The one window of the program. Its handlers call each other synchronously and share the
// state below; a change the program makes to an edit field or check box runs the same handler
// as the user's change, which is what the chains between the handlers rely on.
//
// Controls, handlers and state are public, like the published members of a form, so that
// every subsystem's handlers and the tests can reach them.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Window -----------------------------------------------------------------------------
    int ClientHeight() const;
    void SetClientHeight(int height);

    PictureBox *Image1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    // Built by BuildOpenDialog on first use.
    QFileDialog *OpenDialog = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *FilenameRead = nullptr;
    QPushButton *GetFilenameRead = nullptr;
    QLineEdit *FilenameWrite = nullptr;
    QPushButton *GetFilenameWrite = nullptr;

    QGroupBox *GroupBox2 = nullptr;
    QCheckBox *Only1Color = nullptr;
    QLabel *Label5 = nullptr;
    QCheckBox *TargetOther = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *NumberFrom = nullptr;
    QLineEdit *TargetNumberFrom = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *NumberTo = nullptr;
    QLineEdit *TargetNumberTo = nullptr;
    QPushButton *CopyColors = nullptr;

    QGroupBox *GroupBox3 = nullptr;
    QPlainTextEdit *MemoLog = nullptr;

    QGroupBox *GroupBox4 = nullptr;
    DrawGrid *HueGrid1 = nullptr;

    QGroupBox *GroupBox5 = nullptr;
    PictureBox *ImageColorRange = nullptr;
    DrawGrid *HueGridEdit = nullptr;
    QLineEdit *aktHueName = nullptr;
    QPushButton *PatchIt = nullptr;
    QLabel *Label6 = nullptr;
    QRadioButton *RadioButtonGetColor1 = nullptr;
    QRadioButton *RadioButtonGetColor2 = nullptr;
    QCheckBox *AutoSave = nullptr;
    BevelPanel *PreviewColor = nullptr;
    QPushButton *MixColorOkay = nullptr;
    QPushButton *SpreadColorOkay = nullptr;
    BevelPanel *Panel1 = nullptr;
    PictureBox *ImageColorSelectionRGB = nullptr;
    HiddenTabSet *TabSetColorPalette = nullptr;
    QLineEdit *EditRED = nullptr;
    QLineEdit *EditGREEN = nullptr;
    QLineEdit *EditBLUE = nullptr;
    TrackBar *TrackBarRED = nullptr;
    TrackBar *TrackBarGREEN = nullptr;
    TrackBar *TrackBarBLUE = nullptr;

    // File selection ---------------------------------------------------------------------
    void FilenameReadChange();
    void FilenameWriteChange();
    void GetFilenameReadClick();
    void GetFilenameWriteClick();
    void Label1Click();
    void Label2Click();
    QFileDialog *BuildOpenDialog();
    // The names in the platform's file-name encoding, as the C library takes them.
    const std::string &ReadFileName() const;
    const std::string &WriteFileName() const;
    FollowedFileName ReadNameEncoded;
    FollowedFileName WriteNameEncoded;

    // Operation log ----------------------------------------------------------------------
    void AppendLogLine(const QByteArray &line);
    // A file as log lines name it: its last part, without the folders.
    static QByteArray ShortName(const QString &fileName);
    // A line that names one entry: the word padded to the log's ten columns, then the number.
    static QByteArray EntryLine(const QByteArray &word, int entryNumber);
    void FlushPendingLogLine();
    // The load line held back until the next edit of the loaded entry; empty for none.
    QByteArray PendingLogLine;
    // What the file layer tells without failing, as a "NOTICE    " line.
    void ConnectFileNotices();
    void DisconnectFileNotices();
    void FileNoticeArrived(const FileNotice &notice);

    // Copy -------------------------------------------------------------------------------
    void NumberFromChange();
    void NumberToChange();
    void TargetNumberFromChange();
    void TargetNumberToChange();
    void Only1ColorClick();
    void TargetOtherClick();
    void CopyColorsClick();
    // Both return false when a record was read but could not be written, and note every
    // entry they wrote in `written` when given.
    bool CopyEntry(const HueFile &readFile, HueFile &writeFile, int source, int target,
                   std::vector<EntryWrite> *written = nullptr);
    bool CopyEntryRange(const HueFile &readFile, HueFile &writeFile, int sourceFrom, int sourceTo,
                        int targetFrom, int targetTo, std::vector<EntryWrite> *written = nullptr);

    // Browser ----------------------------------------------------------------------------
    void HueGrid1DrawCell(QPainter *canvas, int ACol, int ARow, const QRect &Rect);
    void CacheBrowserRow(int row);
    void DrawCellOfNewRow(QPainter *canvas, int ACol, int ARow, const QRect &Rect);
    void DrawBrowserCell(QPainter *canvas, int ACol, int ARow, const QRect &Rect);
    void HueGrid1SelectCell(int ACol, int ARow, bool &CanSelect);
    void HueGrid1DblClick();
    // The program's own refresh: the cached row is read again, then the grid repaints at once.
    void RefreshBrowser();

    // Finding an entry by number or name, or by colour (Ctrl+F, F3, Shift+F3).
    void FindEntry(bool forward);
    std::vector<int> EntriesMatching(const QString &text) const;
    void FindEntryByColour(DisplayColour colour, bool forward);
    // The colour the last find looked for; none after a find by number or name.
    std::optional<DisplayColour> LastFindColour;
    FindBar *FindEntryBar = nullptr;

    // Differences between the read and the write file (Ctrl+D, F4, Shift+F4). While they are
    // shown, the separator of every row whose two entries differ is a marker.
    void ToggleDifferences();
    void StepToDifference(bool forward);
    // Whether the cached row's two entries differ.
    bool RowEntriesDiffer() const;
    bool ShowDifferences = false;

    // The browser's context menu: what the shortcuts do.
    void ShowBrowserMenu(const QPoint &at);

    // The separator column's dash, laid out once for the grid's font.
    QStaticText SeparatorDash;
    // The separator cell as pixels, for rows the grid paints as pixels, and what it was drawn for.
    const QImage &SeparatorPixels(const QRect &cell, int scale);
    void DrawSeparator(QPainter *canvas, const QRect &cell);
    QImage SeparatorImage;
    std::tuple<QSize, int, QRgb, QRgb, QFont> SeparatorImageLook;
    LabelPixels RowLabelPixels;
    LabelPixels CursorLabelPixels;
    LabelPixels::Look RowLabelLook(const QRect &cell, int scale, bool highlighted) const;
    // The same, worked out once a paint of the grid for each of the two kinds of label.
    const LabelPixels::Look &PaintLabelLook(const QRect &cell, int scale, bool highlighted);
    struct LabelLookOfPaint {
        int paint = -1;
        LabelPixels::Look look;
    };
    LabelLookOfPaint LabelLooks[2];
    int SeparatorImagePaint = -1;
    int CachedRow = -1;
    HueEntry RowSourceHue{};
    bool RowSourceValid = false;
    HueEntry RowTargetHue{};
    bool RowTargetValid = false;
    // The cached row's swatch colour for each column of the grid; 0 in columns that show no
    // swatch (label, separator, a missing entry's marks). Swatches are opaque, never 0.
    std::array<QRgb, 66> RowSwatchColours{};
    int BrowserRow = 0;

    // Editor: grid and colour selection --------------------------------------------------
    void HueGridEditDrawCell(QPainter *canvas, int ACol, int ARow, const QRect &Rect);
    void HueGridEditSelectCell(int ACol, int ARow, bool &CanSelect);
    void HueGridEditMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void HueGridEditMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void HueGridEditMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void HueGridEditEnter();
    // The program's refresh of the editor grid: puts the stored name into aktHueName (which
    // may autosave), then repaints at once. Repaints the windowing system asks for do not
    // touch the name, so a typed name survives the window being uncovered.
    void RefreshHueGridEdit();

    HueEntry EditHue{};
    bool EditHueLoaded = false;
    // What the editor shows: the loaded entry, or black while none is loaded.
    HueEntry ShownEditHue() const { return EditHueLoaded ? EditHue : HueEntry{}; }
    // Where the shown entry comes from, for the preview's title: "entry 12 of hues.mul".
    QString ShownEditHueSource() const;
    // The write file that held EditHue's entry as a whole record when it was loaded, or that
    // the editor has written it to since; empty when there is none. While the write file is
    // another, showing the entry must not write it: only an edit may extend a file, or put the
    // entry into a file chosen since.
    std::string EditHueHeldIn;
    // Set while the editor puts a stored name into aktHueName that must not be written back.
    bool NameSyncWithoutWrite = false;
    int EditColourIndex = -1;

    // Editor: colour picker --------------------------------------------------------------
    void ShowColourInPicker(DisplayColour colour);
    void UpdatePreviewFromTrackBars();
    void SyncEditWithTrackBar(QLineEdit *edit, TrackBar *trackBar);
    void DrawColourPalette(int variant);
    void TrackBarREDChange();
    void TrackBarGREENChange();
    void TrackBarBLUEChange();
    void EditREDChange();
    void EditGREENChange();
    void EditBLUEChange();
    void ImageColorSelectionRGBMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                                         int Y);
    void ImageColorSelectionRGBMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void ImageColorSelectionRGBMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                                       int Y);
    void TabSetColorPaletteChange(int NewTab, bool &AllowChange);
    DisplayColour PreviewColour() const;
    void SetPreviewColour(DisplayColour colour);

    // Editor: range bar, spread and mix --------------------------------------------------
    void DrawColorRange(int first, int second, bool apply);
    void MixColorOkayClick();
    void SpreadColorOkayClick();

    // Editor: clipboard and the run's context menu -------------------------------------
    // The selected colour, or 0 when none is.
    int CurrentColourIndex() const;
    // The selected run's lower and upper end, or none while no colour is selected.
    std::optional<std::pair<int, int>> SelectedRun() const;
    void CopyEditorColours();
    void CopyBrowserEntry(bool fromReadFile);
    void PasteIntoEditor();
    // Logs what was pasted, or why nothing was, and returns whether anything was.
    bool PasteColours(const QMimeData *data);
    void ShowEditorMenu(const QPoint &at);
    void SpreadRunInOklab();
    enum class RunOperation { Reverse, RotateLeft, RotateRight, SwapEnds };
    void ApplyRunOperation(RunOperation operation);
    // What every change of the entry in memory does after it: the grid, the held-back line and
    // this line, the picker and range bar, then autosave.
    void FinishEditorChange(const QByteArray &line);

    // Editor: write-back -----------------------------------------------------------------
    void PatchItClick();
    void AutoSaveClick();
    void aktHueNameChange();
    // What the editor last loaded from an entry of the write file, or wrote there since. A
    // write-back to such an entry first checks, under the writers' lock, that the file still
    // holds it, so that what a script or the window's own copy put there since is never
    // overwritten; an entry the editor never saw is written unchecked.
    struct SeenEntry {
        HueEntry bytes{};
        // Found changed by another writer: autosave leaves it alone, and "Patch it" writes it
        // only over what was found then.
        bool stale = false;
    };
    std::map<int, SeenEntry> EditorSeen;
    // The write file those entries were seen in.
    std::string EditorSeenIn;
    // A load starts afresh from the one entry loaded; none after a load that did not open.
    void NoteEditorLoad(int entryNumber, const HueEntry *loaded);
    // The line of a write-back refused because the entry changed behind the editor.
    static QByteArray StaleLine(int entryNumber);
    static bool IsStaleLine(const QString &line);

    // Export and import of the editor's entry, and its preview on a picture ----------------
    void ExportEntryClick();
    void ImportEntryClick();
    // As Ctrl+I, but the entry keeps its name whatever the palette holds.
    void ImportKeepingNameClick();
    void ImportFromDialog(bool keepName);
    void ShowPreviewClick();
    // Both log what they did, or why not, and return whether they did it; without a format
    // the file name's extension decides.
    bool ExportEntryTo(const QString &fileName, std::optional<PaletteFormat> format);
    bool ImportEntryFrom(const QString &fileName, std::optional<PaletteFormat> format,
                         bool keepName = false);
    // What the export dialog offers: "<entry name>.gpl" in the folder of the last export.
    QString ProposedExportName() const;
    // The folder of this session's last export; empty before the first.
    QString LastExportFolder;
    PreviewWindow *Preview = nullptr;

    // Patches: applied to the write file, or made from the read file to the write file. Both
    // log what they did, or why not, and return whether they did it.
    void ApplyPatchClick();
    void SavePatchClick();
    bool ApplyPatchFrom(const QString &fileName);
    bool SavePatchTo(const QString &fileName);

    // Undo and redo of the window's writes ---------------------------------------------------
    void UndoLastWrite();
    void RedoLastWrite();
    // After a replay or an applied patch: the browser shows the file, and the editor reloads
    // its entry in "cursor position" mode, or in either mode when the write touched it.
    void ReloadAfterReplay(bool replaysEditorEntry);
    // Every write, copy and write-back alike, until the write file's name changes.
    WriteHistory History;

private:
    void BuildLayout();
    void BuildFileGroup();
    void BuildCopyGroup();
    void BuildLogGroup();
    void BuildBrowserGroup();
    void BuildEditorGroup();
    void BuildPicker();
    void SetTabOrder();
    void RecolourLogo();
    void HideCopyLogAndBrowser();
    void ChooseFile(QLineEdit *name, const char *filter, const QString &title);
    bool eventFilter(QObject *watched, QEvent *event) override;

    // Each subsystem wires its own controls' events.
    void ConnectFileSelection();
    void ConnectCopy();
    void ConnectBrowser();
    void ConnectEditorGrid();
    void ConnectPicker();
    void ConnectRangeBar();
    void ConnectWriteBack();
    void ConnectUndo();
    void ConnectFind();
    void ConnectDifferences();
    void ConnectToolTips();
    void ConnectBrowserMenu();
    void ConnectEntryExchange();
    void ConnectPatchActions();
    void ConnectColourClipboard();
    bool HandleDrop(QEvent *event);
    bool ShowToolTip(QObject *watched, QHelpEvent *help);
    void ReplayLastWrite(bool undo);

    // The stored palette picture, generated from its formula.
    void LoadStoredPalette();

    MnemonicFilter *Mnemonics = nullptr;
};
