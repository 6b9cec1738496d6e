#pragma once

#include <QProcess>

#include <string>

namespace zw {

// A dummy JACK server of the test's own, so that stopping it disturbs no
// other test. Made, it points this process's JACK clients at itself.
class TPrivateJackServer {
public:
    explicit TPrivateJackServer(const std::string& prefix, int periodFrames = 256);
    ~TPrivateJackServer();
    TPrivateJackServer(const TPrivateJackServer&) = delete;
    TPrivateJackServer& operator=(const TPrivateJackServer&) = delete;

    // Starts it (again); true once it answers.
    bool Start();
    // Stops it the gentle way, or as a crash would (kill -9).
    void Terminate();
    void Kill();
    // Stops the server's process where it is (SIGSTOP), as a server that has
    // hung; false lets it go on.
    void Stall(bool stalled);
    std::string Log();

private:
    std::string FName;
    int FPeriodFrames;
    QProcess FProcess;
    bool FKilled = false; // and not started again
};

} // namespace zw
