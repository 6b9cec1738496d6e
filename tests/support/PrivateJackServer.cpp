#include "support/PrivateJackServer.h"

#include "support/JackPeer.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <csignal>
#include <unistd.h>

namespace zw {

TPrivateJackServer::TPrivateJackServer(const std::string& prefix, int periodFrames)
    : FName(prefix + "-" + std::to_string(getpid())), FPeriodFrames(periodFrames)
{
    FProcess.setProcessChannelMode(QProcess::MergedChannels);
    setenv("JACK_DEFAULT_SERVER", FName.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
}

TPrivateJackServer::~TPrivateJackServer()
{
    // A killed server leaves its entry in JACK's registry of servers, which
    // has room for a few only; a server of the same name takes it over, and
    // gives it back when it ends.
    if (FKilled)
        Start();
    Terminate();
}

bool TPrivateJackServer::Start()
{
    FKilled = false;
    FProcess.start("jackd", {"-n", QString::fromStdString(FName), "-S", "--no-realtime", "-d", "dummy", "-r", "48000",
                             "-p", QString::number(FPeriodFrames)});
    if (!FProcess.waitForStarted(10000))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (JackServerAnswers())
            return true;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void TPrivateJackServer::Terminate()
{
    Stall(false);
    for (int attempt = 0; attempt < 2 && FProcess.state() != QProcess::NotRunning; ++attempt) {
        FProcess.terminate();
        if (!FProcess.waitForFinished(10000)) {
            FProcess.kill();
            FProcess.waitForFinished(10000);
        }
        if (FProcess.exitStatus() == QProcess::NormalExit && FProcess.exitCode() == 0)
            return;
        // Ended by the signal itself (it may come while clients are still
        // attached), the server keeps its registry entry: one of the same
        // name takes it over, and ends cleanly with no clients.
        if (attempt == 0 && !Start())
            return;
    }
}

void TPrivateJackServer::Kill()
{
    FProcess.kill(); // SIGKILL
    FProcess.waitForFinished(10000);
    FKilled = true;
}

void TPrivateJackServer::Stall(bool stalled)
{
    if (FProcess.state() != QProcess::NotRunning)
        kill(static_cast<pid_t>(FProcess.processId()), stalled ? SIGSTOP : SIGCONT);
}

std::string TPrivateJackServer::Log()
{
    return FProcess.readAll().toStdString();
}

} // namespace zw
