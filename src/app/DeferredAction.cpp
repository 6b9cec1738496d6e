#include "app/DeferredAction.h"

#include <QTimer>

namespace zw {

TDeferredAction::TDeferredAction(std::chrono::milliseconds delay, std::function<void()> action, QObject* parent)
    : QObject(parent), FTimer(new QTimer(this)), FAction(std::move(action))
{
    FTimer->setSingleShot(true);
    FTimer->setInterval(delay);
    connect(FTimer, &QTimer::timeout, this, [this] { Run(); });
}

void TDeferredAction::Request()
{
    // A running count is not restarted: steady requests must not put the action off for good.
    if (!FTimer->isActive())
        FTimer->start();
}

void TDeferredAction::Flush()
{
    if (FTimer->isActive())
        Run();
}

bool TDeferredAction::Pending() const { return FTimer->isActive(); }

void TDeferredAction::Run()
{
    FTimer->stop();
    FAction();
}

} // namespace zw
