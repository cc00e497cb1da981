#pragma once

#include <QListWidget>

// The patch list's rows: a list that never adds, removes or moves a row of its own
// accord, whatever is dragged or dropped, so that row n stays patch n. A row dragged out
// is handed on: what the drag carries, and what a drop does, is the librarian's.
class PatchRows : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;

signals:
    // A row is being dragged; the receiver runs the drag and returns once it is over.
    void rowDragged(int patch);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dropEvent(QDropEvent* event) override;
};
