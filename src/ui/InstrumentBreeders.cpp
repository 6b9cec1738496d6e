#include "ui/InstrumentBreeders.h"

#include "audio/AudioHost.h"
#include "audio/RemoteInstrument.h"
#include "audio/Lv2State.h"
#include "common/Dialogs.h"
#include "midi/MidiScheduler.h"
#include "worms/Gene.h"

#include <QTimer>

#include <algorithm>
#include <filesystem>

namespace zw {

void TInstrumentBreeders::TEngineSink::Play(uint32_t message) noexcept
{
    const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                              static_cast<uint8_t>(message >> 16)};
    const uint8_t kind = bytes[0] & 0xF0;
    FAudio.Engine().Send(FSlot, bytes, kind == 0xC0 || kind == 0xD0 ? 2 : 3);
}

TInstrumentBreeders::TInstrumentBreeders(const TLv2Catalog& catalog, TAudioHost& audio, TMidiScheduler& scheduler,
                                         QObject* parent)
    : QObject(parent), FCatalog(catalog), FAudio(audio), FScheduler(scheduler), FPoll(new QTimer(this))
{
    setObjectName("InstrumentBreeders");
    connect(FPoll, &QTimer::timeout, this, [this] {
        TakeLoaded();
        Watch();
    });
}

TInstrumentBreeders::~TInstrumentBreeders()
{
    for (int breeder = 0; breeder < kBreeders; ++breeder)
        Drop(breeder);
}

void TInstrumentBreeders::Configure(const std::array<std::string, kBreeders>& uris)
{
    for (int breeder = 0; breeder < kBreeders; ++breeder) {
        TBreeder& b = FBreeders[static_cast<size_t>(breeder)];
        // One that failed is tried again: the user chose it once more.
        if (b.Uri == uris[static_cast<size_t>(breeder)] && (b.Playing || b.Loading.valid()))
            continue;
        Drop(breeder);
        b.Uri = uris[static_cast<size_t>(breeder)];
        if (b.Uri.empty())
            continue;
        const double sampleRate = FAudio.Engine().SampleRate();
        b.Loading = std::async(std::launch::async, [uri = b.Uri, sampleRate] {
            return std::make_unique<TRemoteInstrument>(uri, sampleRate);
        });
        FPoll->start(20);
    }
}

void TInstrumentBreeders::Drop(int breeder)
{
    TBreeder& b = FBreeders[static_cast<size_t>(breeder)];
    if (b.Loading.valid())
        b.Loading.wait(); // an instance half made is freed on this thread, never left running
    b.Loading = {};
    if (b.Playing) {
        FScheduler.SetVoiceSink(breeder, nullptr); // its notes end on the instrument first
        FAudio.SetInstrument(kFirstSlot + breeder, nullptr);
        b.Playing = nullptr;
    }
    b.Sink.reset();
    b.Genes.clear();
    b.Uri.clear();
}

void TInstrumentBreeders::TakeLoaded()
{
    bool waiting = false;
    for (int breeder = 0; breeder < kBreeders; ++breeder) {
        TBreeder& b = FBreeders[static_cast<size_t>(breeder)];
        if (!b.Loading.valid())
            continue;
        if (b.Loading.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            waiting = true;
            continue;
        }
        try {
            std::unique_ptr<TRemoteInstrument> instrument = b.Loading.get();
            b.Genes = ReadLv2Genes(FCatalog.World(), b.Uri, FAudio.Engine().SampleRate());
            b.Playing = instrument.get();
            FAudio.SetInstrument(kFirstSlot + breeder, std::move(instrument));
            FAudio.Activate();
            b.Sink = std::make_unique<TEngineSink>(FAudio, kFirstSlot + breeder);
            FScheduler.SetVoiceSink(breeder, b.Sink.get());
            emit Ready(breeder);
        } catch (const std::exception& error) {
            b.Loading = {};
            b.Playing = nullptr;
            emit Failed(breeder, QString::fromStdString(error.what()));
        }
    }
    const bool playing = std::any_of(FBreeders.begin(), FBreeders.end(), [](const TBreeder& b) { return b.Playing; });
    if (!waiting && !playing)
        FPoll->stop();
}

void TInstrumentBreeders::Watch()
{
    for (int breeder = 0; breeder < kBreeders; ++breeder) {
        TRemoteInstrument* playing = FBreeders[static_cast<size_t>(breeder)].Playing;
        if (!playing)
            continue;
        std::vector<std::string> notices = playing->TakeNotices();
        if (playing->Off()) {
            // The notice that says so is its last, given just before the
            // flag is set: among those taken, or taken now.
            for (std::string& late : playing->TakeNotices())
                notices.push_back(std::move(late));
            const QString last = notices.empty() ? QString("The LV2 instrument \"%1\" is off.")
                                                           .arg(QString::fromStdString(playing->Name()))
                                                     : QString::fromStdString(notices.back());
            if (!notices.empty())
                notices.pop_back();
            for (const std::string& notice : notices)
                emit Notice(breeder, QString::fromStdString(notice));
            Drop(breeder); // until the user chooses it again
            emit Failed(breeder, last);
            continue;
        }
        for (const std::string& notice : notices)
            emit Notice(breeder, QString::fromStdString(notice));
    }
}

bool TInstrumentBreeders::Plays(int breeder) const
{
    return breeder >= 0 && breeder < kBreeders && FBreeders[static_cast<size_t>(breeder)].Playing;
}

void TInstrumentBreeders::SetGenome(int breeder, const TGene& genome)
{
    if (Plays(breeder))
        FBreeders[static_cast<size_t>(breeder)].Playing->SetGenome(genome.Data(), static_cast<size_t>(genome.Size()));
}

const std::vector<TLv2Gene>* TInstrumentBreeders::Genes(int breeder) const
{
    return Plays(breeder) ? &FBreeders[static_cast<size_t>(breeder)].Genes : nullptr;
}

std::string TInstrumentBreeders::Name(int breeder) const
{
    return Plays(breeder) ? FBreeders[static_cast<size_t>(breeder)].Playing->Name() : std::string();
}

void TInstrumentBreeders::SavePreset(int breeder, const std::string& bundle, const std::string& label)
{
    if (!Plays(breeder))
        throw ELv2Error("Breeder " + std::string(1, static_cast<char>('A' + breeder)) + " plays no LV2 instrument.");
    FBreeders[static_cast<size_t>(breeder)].Playing->SavePreset(bundle, label);
}

void AskSaveLv2Preset(TInstrumentBreeders* instruments, int breeder)
{
    const QChar letter('A' + breeder);
    if (!instruments || !instruments->Plays(breeder)) {
        Dialogs().ShowMessage(QString("Breeder %1 plays no LV2 instrument, so there is no LV2 preset to save. "
                                      "A breeder plays one once it is chosen for it in [Instruments].")
                                  .arg(letter));
        return;
    }
    const QString instrument = QString::fromStdString(instruments->Name(breeder));
    QString name = QString("%1 %2").arg(instrument, letter);
    if (!Dialogs().InputQuery("Save as LV2 preset", "Name of the preset", name))
        return;
    name = name.trimmed();
    if (name.isEmpty()) {
        Dialogs().ShowMessage("An LV2 preset needs a name; nothing was saved.");
        return;
    }
    const std::string bundle = UserPresetBundle(name.toStdString());
    const QString where = QString::fromStdString(bundle);
    if (std::filesystem::exists(bundle) &&
        !Dialogs().Confirm(QString("There is an LV2 preset in \"%1\" already. Replace it?").arg(where)))
        return;
    try {
        instruments->SavePreset(breeder, bundle, name.toStdString());
    } catch (const ELv2Error& error) {
        Dialogs().ShowError(QString::fromStdString(error.what()));
        return;
    }
    Dialogs().ShowMessage(
        QString("The LV2 preset \"%1\" of %2 is saved in \"%3\".").arg(name, instrument, where));
}

} // namespace zw
