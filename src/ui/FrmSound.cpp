#include "ui/FrmSound.h"

#include "audio/AudioHost.h"
#include "audio/Lv2InstrumentChoice.h"
#include "common/Dialogs.h"
#include "synth/Synthesizer.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace zw {
namespace {

struct TSystemName {
    const char* Key;
    const char* Shown;
};

constexpr TSystemName kSystemNames[] = {
    {"auto", "Automatic (JACK when it runs, else PulseAudio, else ALSA)"},
    {"jack", "JACK"},
    {"pulseaudio", "PulseAudio (also PipeWire)"},
    {"alsa", "ALSA"},
};

constexpr int kSampleRates[] = {44100, 48000, 88200, 96000};

} // namespace

TFormSound::TFormSound(TAudioHost* host, const TLv2Catalog& catalog, TApply apply, QWidget* parent)
    : QDialog(parent), FHost(host), FApply(std::move(apply))
{
    setObjectName("FormSound");
    setWindowTitle("Sound");
    UseSmallDialogFont(*this);
    auto* column = new QVBoxLayout(this);
    column->addWidget(CreateOutputGroup());
    column->addWidget(CreateSynthGroup());

    auto* instruments = new QGroupBox("What each breeder plays", this);
    auto* instrumentsColumn = new QVBoxLayout(instruments);
    auto* hint = new QLabel("The MIDI output plays the genes through the rules (the built-in synthesizer or a MIDI "
                            "device); an LV2 instrument takes the genes as its parameters.",
                            instruments);
    hint->setWordWrap(true);
    instrumentsColumn->addWidget(hint);
    FInstruments = new TLv2InstrumentChoice(catalog, instruments);
    instrumentsColumn->addWidget(FInstruments);
    column->addWidget(instruments);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel,
                                         this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ButtonOk");
    buttons->button(QDialogButtonBox::Apply)->setObjectName("ButtonApply");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("ButtonCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Apply())
            accept();
    });
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);

    FStatusTimer = new QTimer(this);
    connect(FStatusTimer, &QTimer::timeout, this, &TFormSound::ShowStatus);
}

QWidget* TFormSound::CreateOutputGroup()
{
    auto* group = new QGroupBox("Output", this);
    auto* form = new QFormLayout(group);
    FSystem = new QComboBox(group);
    FSystem->setObjectName("ComboSystem");
    for (const TSystemName& system : kSystemNames)
        FSystem->addItem(system.Shown, QString(system.Key));
    form->addRow("Audio system:", FSystem);
    FDevice = new QComboBox(group);
    FDevice->setObjectName("ComboDevice");
    FDevice->setEditable(true);
    form->addRow("Device:", FDevice);
    FSampleRate = new QComboBox(group);
    FSampleRate->setObjectName("ComboSampleRate");
    FSampleRate->addItem("The server's or the device's", 0);
    for (int rate : kSampleRates)
        FSampleRate->addItem(QString("%1 Hz").arg(rate), rate);
    form->addRow("Sample rate:", FSampleRate);
    FStatus = new QLabel(group);
    FStatus->setObjectName("LabelOutputStatus");
    FStatus->setWordWrap(true);
    form->addRow("Now:", FStatus);
    connect(FSystem, &QComboBox::currentIndexChanged, this,
            [this] { FillDevices(FDevice->currentText().toStdString()); });
    return group;
}

QWidget* TFormSound::CreateSynthGroup()
{
    auto* group = new QGroupBox("Built-in synthesizer", this);
    auto* form = new QFormLayout(group);
    auto* row = new QHBoxLayout;
    FSoundFont = new QLineEdit(group);
    FSoundFont->setObjectName("EditSoundFont");
    const std::string installed = FindSoundFont({});
    FSoundFont->setPlaceholderText(installed.empty() ? QString("no General MIDI SoundFont is installed")
                                                     : "installed: " + QString::fromStdString(installed));
    row->addWidget(FSoundFont, 1);
    auto* browse = new QPushButton("Browse \u2026", group);
    browse->setObjectName("ButtonSoundFont");
    connect(browse, &QPushButton::clicked, this, &TFormSound::ChooseSoundFont);
    row->addWidget(browse);
    form->addRow("SoundFont:", row);
    FGain = new QSpinBox(group);
    FGain->setObjectName("SpinGain");
    FGain->setRange(0, TSynthSettings::kMaxGain);
    FGain->setToolTip("The synthesizer's gain in hundredths: 100 is full scale");
    form->addRow("Gain:", FGain);
    FTestTone = new QPushButton("Test tone", group);
    FTestTone->setObjectName("ButtonTestTone");
    FTestTone->setToolTip("A short tone through the output in use (Apply a new output first)");
    FTestTone->setEnabled(FHost != nullptr);
    connect(FTestTone, &QPushButton::clicked, this, [this] {
        if (FHost)
            FHost->PlayTestTone();
    });
    form->addRow("", FTestTone);
    return group;
}

void TFormSound::SetSettings(const TSoundSettings& settings)
{
    FSystem->setCurrentIndex(std::max(0, FSystem->findData(QString::fromStdString(settings.Audio.System))));
    FillDevices(settings.Audio.Device);
    int rate = FSampleRate->findData(settings.Audio.SampleRate);
    if (rate < 0) { // a rate the file holds but the list lacks
        FSampleRate->addItem(QString("%1 Hz").arg(settings.Audio.SampleRate), settings.Audio.SampleRate);
        rate = FSampleRate->count() - 1;
    }
    FSampleRate->setCurrentIndex(rate);
    FSoundFont->setText(QString::fromStdString(settings.SoundFont));
    FGain->setValue(settings.Gain);
    FInstruments->SetChoice(settings.Instruments);
}

TSoundSettings TFormSound::Settings() const
{
    TSoundSettings settings;
    settings.Audio.System = FSystem->currentData().toString().toStdString();
    const QString device = FDevice->currentText().trimmed();
    settings.Audio.Device = device == kDefaultDevice ? std::string() : device.toStdString();
    settings.Audio.SampleRate = FSampleRate->currentData().toInt();
    settings.SoundFont = FSoundFont->text().trimmed().toStdString();
    settings.Gain = FGain->value();
    settings.Instruments = FInstruments->Choice();
    return settings;
}

void TFormSound::FillDevices(const std::string& chosen)
{
    const std::string system = FSystem->currentData().toString().toStdString();
    FDevice->clear();
    FDevice->addItem(kDefaultDevice);
    // Automatic picks the system, so only its default device can be meant.
    FDevice->setEnabled(system != "auto");
    if (FHost && system != "auto")
        for (const std::string& name : FHost->Devices(system))
            FDevice->addItem(QString::fromStdString(name));
    if (chosen.empty() || chosen == kDefaultDevice)
        FDevice->setCurrentIndex(0);
    else
        FDevice->setCurrentText(QString::fromStdString(chosen));
}

void TFormSound::ChooseSoundFont()
{
    const QString current = FSoundFont->text().trimmed();
    const QString chosen = Dialogs().OpenFileName(
        {"Choose a SoundFont", "SoundFonts (*.sf2;*.sf3)|*.sf2;*.sf3|all files (*)|*", "sf2",
         current.isEmpty() ? QString("/usr/share/sounds/sf2") : QFileInfo(current).absolutePath(), QString()});
    if (!chosen.isEmpty())
        FSoundFont->setText(chosen);
}

void TFormSound::ShowStatus()
{
    if (!FHost) {
        FStatus->setText("No audio output in this run.");
        return;
    }
    const TAudioStatus status = FHost->Status();
    if (status.Sounding)
        FStatus->setText(QString::fromStdString("playing through " + status.Description));
    else if (!status.Failure.empty())
        FStatus->setText(QString::fromStdString("no sound: " + status.Failure));
    else
        FStatus->setText("not open yet: the output opens when something plays");
}

bool TFormSound::Apply()
{
    const bool applied = FApply(Settings());
    ShowStatus();
    return applied;
}

bool TFormSound::Execute()
{
    ShowStatus();
    FStatusTimer->start(kStatusMilliseconds);
    const bool accepted = exec() == QDialog::Accepted;
    FStatusTimer->stop();
    return accepted;
}

} // namespace zw
