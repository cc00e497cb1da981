// The main window's Edit menu: undo and redo of the bank's history, the patch clipboard
// and the Compare window.
#include "BackgroundMDI.h"

#include "desktop/Desktop.h"
#include "editors/BankHistory.h"
#include "editors/Patch.h"
#include "librarian/CompareWindow.h"
#include "librarian/Librarian.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>

// Each item names the step it would take back or do again.
void BackgroundMDI::updateEditMenu() {
    const auto caption = [](const char* command, const QString& step) {
        return step.isEmpty() ? QString(command) : QString(command) + " " + step;
    };
    mnu_Undo->setText(caption("&Undo", m_history->canUndo() ? m_history->undoText() : QString()));
    mnu_Undo->setEnabled(m_history->canUndo());
    mnu_Redo->setText(caption("&Redo", m_history->canRedo() ? m_history->redoText() : QString()));
    mnu_Redo->setEnabled(m_history->canRedo());
}

void BackgroundMDI::mnu_Undo_Click() { m_history->undo(); }
void BackgroundMDI::mnu_Redo_Click() { m_history->redo(); }

void BackgroundMDI::mnu_CopyPatch_Click() {
    if (const auto patch = CurrentPatchTarget())
        m_librarian->copyPatch(*patch);
    else
        m_desktop.beep();
}

void BackgroundMDI::mnu_PastePatch_Click() {
    if (const auto patch = CurrentPatchTarget())
        m_librarian->pastePatch(*patch);
    else
        m_desktop.beep();
}

CompareWindow* BackgroundMDI::compare() const { return m_compare.data(); }

namespace {
constexpr int kCompareHeight = 640;
} // namespace

// One compare window: a second choice shows the one there is.
void BackgroundMDI::mnu_Compare_Click() {
    if (!m_compare) {
        const int selected = PatchWindow->selectedRowPatch();
        m_compare = new CompareWindow(m_context, selected > 0 ? selected : kFirstPatch);
        QMdiSubWindow* frame = addChild(m_compare, true);
        frame->setAttribute(Qt::WA_DeleteOnClose);
        // Beside the patch list and as tall as the area allows, but wholly inside the
        // area, where its Send buttons and columns can be reached; in an area too narrow
        // for both, over the list.
        const QRect area = Mdi->viewport()->rect();
        const QRect list = PatchWindow->parentWidget()->geometry();
        const QSize size = QSize(frame->sizeHint().width(), kCompareHeight).boundedTo(area.size());
        const int left = std::max(0, std::min(list.right() + 1, area.width() - size.width()));
        frame->setGeometry(QRect(QPoint(left, area.top()), size));
    }
    Mdi->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(m_compare->parentWidget()));
}
