#pragma once

#include <QObject>

class QSocketNotifier;

namespace zw {

// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C, a session ending) reach the
// event loop as Received, so the program ends as its own exit does: notes
// silenced, settings and breeders written. The handler only writes the
// signal's number into a pipe; a second signal of the same kind ends the
// program at once, as if no handler were there. One instance at a time.
class TExitSignals : public QObject {
    Q_OBJECT

public:
    explicit TExitSignals(QObject* parent = nullptr);
    ~TExitSignals() override;
    TExitSignals(const TExitSignals&) = delete;
    TExitSignals& operator=(const TExitSignals&) = delete;

signals:
    void Received(int signal);

private:
    void Drain();

    int FPipe[2] = {-1, -1};
    QSocketNotifier* FNotifier = nullptr; // child
};

} // namespace zw
