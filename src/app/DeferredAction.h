#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class QTimer;

namespace zw {

// Runs an action a fixed while after the first request since it last ran.
// Requests that come meanwhile (automation breeds every 600 ms) join it, so
// the action runs at most once per while, and never later than that after
// any request: what it saves is lost to a crash for at most that long.
class TDeferredAction : public QObject {
    Q_OBJECT

public:
    TDeferredAction(std::chrono::milliseconds delay, std::function<void()> action, QObject* parent = nullptr);

    void Request();
    // Runs the action now if a request waits; nothing otherwise.
    void Flush();
    bool Pending() const;

private:
    void Run();

    QTimer* FTimer; // child
    std::function<void()> FAction;
};

} // namespace zw
