#include "PatchRows.h"

#include <QDropEvent>

// The list's own drag would carry its rows and, dropped as a move anywhere, remove the
// dragged one.
void PatchRows::startDrag(Qt::DropActions) {
    if (const int row = currentRow(); row >= 0) emit rowDragged(row + 1);
}

// The list's own drop would insert or move rows; drops are taken before they reach it.
void PatchRows::dropEvent(QDropEvent* event) {
    event->ignore();
}
