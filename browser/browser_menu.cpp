#include "app/tform1.h"

#include "widgets/draw_grid.h"
#include "widgets/find_bar.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

// The right button's press only takes the focus, as it always has; the menu comes with the
// release, so the press selects nothing.
void TForm1::ConnectBrowserMenu()
{
    connect(HueGrid1, &DrawGrid::mouseReleased, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) {
                if (button == Qt::RightButton)
                    ShowBrowserMenu(HueGrid1->mapToGlobal(pos));
            });
}

// Lists what the window's shortcuts do, with the shortcuts, so they can be found.
void TForm1::ShowBrowserMenu(const QPoint &at)
{
    QMenu menu(this);
    menu.addAction("Find entry...", QKeySequence(Qt::CTRL | Qt::Key_F), FindEntryBar,
                   &FindBar::open);
    QAction *differences = menu.addAction("Show differences", QKeySequence(Qt::CTRL | Qt::Key_D),
                                          this, &TForm1::ToggleDifferences);
    differences->setCheckable(true);
    differences->setChecked(ShowDifferences);
    menu.addAction("Next difference", QKeySequence(Qt::Key_F4), this,
                   [this] { StepToDifference(true); })
        ->setEnabled(ShowDifferences);
    menu.addAction("Previous difference", QKeySequence(Qt::SHIFT | Qt::Key_F4), this,
                   [this] { StepToDifference(false); })
        ->setEnabled(ShowDifferences);
    menu.addSeparator();
    menu.addAction("Undo last write", QKeySequence(Qt::CTRL | Qt::Key_Z), this,
                   &TForm1::UndoLastWrite)
        ->setEnabled(History.nextUndo() != nullptr);
    menu.addAction("Redo write", QKeySequence(Qt::CTRL | Qt::Key_Y), this, &TForm1::RedoLastWrite)
        ->setEnabled(History.nextRedo() != nullptr);
    menu.addSeparator();
    menu.addAction("Export entry...", QKeySequence(Qt::CTRL | Qt::Key_E), this,
                   &TForm1::ExportEntryClick);
    menu.addAction("Import entry...", QKeySequence(Qt::CTRL | Qt::Key_I), this,
                   &TForm1::ImportEntryClick);
    menu.addAction("Apply patch...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), this,
                   &TForm1::ApplyPatchClick);
    menu.addAction("Save differences as patch...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                   this, &TForm1::SavePatchClick);
    menu.addAction("Preview on a picture...", QKeySequence(Qt::CTRL | Qt::Key_P), this,
                   &TForm1::ShowPreviewClick);
    menu.exec(at);
}
