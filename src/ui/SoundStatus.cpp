#include "ui/SoundStatus.h"

#include "ui/StatusLine.h"

namespace zw {

TSoundStatus::TSoundStatus(TStatusLine& line, TProbe probe, std::string settingsFile, QObject* parent)
    : QObject(parent), FLine(line), FProbe(std::move(probe)), FSettingsFile(std::move(settingsFile))
{
    setObjectName("SoundStatus");
    connect(&FTimer, &QTimer::timeout, this, &TSoundStatus::Refresh);
    FTimer.start(kPollMilliseconds);
}

QString TSoundStatus::Message(const TAudioStatus& status, const std::string& settingsFile)
{
    if (status.Sounding || status.Failure.empty())
        return {};
    return QString::fromStdString("No sound: no audio output opens (" + status.Failure +
                                  "). Start PulseAudio, PipeWire or a JACK server, or choose the output in "
                                  "Settings \u2192 Sound\u2026 (System= and Device= in the [Audio] section of " +
                                  settingsFile + ").");
}

void TSoundStatus::Refresh()
{
    const std::optional<TAudioStatus> status = FProbe();
    const QString message = status ? Message(*status, FSettingsFile) : QString();
    if (message != FLine.Message(TStatusTopic::Sound))
        FLine.Show(TStatusTopic::Sound, message);
}

} // namespace zw
