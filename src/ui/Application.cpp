#include "ui/Application.h"

#include "common/Guard.h"

namespace zw {

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    RunGuarded([&] { result = QApplication::notify(receiver, event); });
    return result;
}

} // namespace zw
