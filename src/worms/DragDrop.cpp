#include "worms/DragDrop.h"

#include <QApplication>
#include <QMouseEvent>

namespace zw {

void TDragGesture::Press(QPoint pos)
{
    FPending = true;
    FPressPos = pos;
}

bool TDragGesture::Starts(const QMouseEvent* event)
{
    if (!FPending || !(event->buttons() & Qt::LeftButton))
        return false;
    if ((event->position().toPoint() - FPressPos).manhattanLength() < QApplication::startDragDistance())
        return false;
    FPending = false;
    return true;
}

} // namespace zw
