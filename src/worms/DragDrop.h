#pragma once

#include "common/Guard.h"

#include <QDropEvent>
#include <QPoint>

class QMouseEvent;

// Drag and drop between the worms and the gene bank: both start their drags
// the same way and answer drags over them the same way.
namespace zw {

// A left press that may become a drag: it does once the mouse, the button
// still held, has moved the system's drag distance away from the press.
class TDragGesture {
public:
    void Press(QPoint pos);
    // The press no longer counts (released, or its source went away).
    void Cancel() { FPending = false; }
    // True, once, for the move that starts the drag.
    bool Starts(const QMouseEvent* event);
    QPoint PressPos() const { return FPressPos; }

private:
    bool FPending = false;
    QPoint FPressPos;
};

// A drop target answers AcceptsDrop(mime, source) and does Drop(mime, source).

// Takes a drag over the target where it would accept the drop, else refuses it.
template <typename TTarget>
void AnswerDragOver(const TTarget& target, QDragMoveEvent* event)
{
    if (target.AcceptsDrop(event->mimeData(), event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

// Takes an acceptable drop and lets the target do it; a failure shows in the
// error box and the program goes on.
template <typename TTarget>
void AnswerDrop(TTarget& target, QDropEvent* event)
{
    if (!target.AcceptsDrop(event->mimeData(), event->source())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    RunGuarded([&target, event] { target.Drop(event->mimeData(), event->source()); });
}

} // namespace zw
