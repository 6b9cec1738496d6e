#pragma once

#include "audio/AudioHost.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

namespace zw {

class TStatusLine;

// Keeps the status line's Sound message: why the built-in synthesizer is not
// heard and how to mend it, naming the settings file by its full path; cleared
// once the output plays (a server started, a device was chosen).
class TSoundStatus : public QObject {
    Q_OBJECT

public:
    // The output's status while the built-in synthesizer is in use; nullopt otherwise.
    using TProbe = std::function<std::optional<TAudioStatus>()>;
    static constexpr int kPollMilliseconds = 500;

    TSoundStatus(TStatusLine& line, TProbe probe, std::string settingsFile, QObject* parent);

    // Looks now (the timer looks every kPollMilliseconds).
    void Refresh();

    // The message for `status`; empty while nothing is wrong.
    static QString Message(const TAudioStatus& status, const std::string& settingsFile);

private:
    TStatusLine& FLine;
    TProbe FProbe;
    std::string FSettingsFile;
    QTimer FTimer;
};

} // namespace zw
