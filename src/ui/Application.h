#pragma once

#include <QApplication>

namespace zw {

// The program's application object. Every action already runs guarded; this
// is the last net, so no exception ever unwinds through the event loop.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace zw
