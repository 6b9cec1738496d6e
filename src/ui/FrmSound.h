#pragma once

#include "audio/AudioOutput.h"
#include "synth/SynthSettings.h"

#include <QDialog>

#include <array>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace zw {

class TAudioHost;
class TLv2Catalog;
class TLv2InstrumentChoice;

// What Settings → Sound … edits: the output, the built-in synthesizer's
// SoundFont and gain, and what each breeder A..D plays (an LV2 instrument's
// URI; empty: the MIDI output and the rules).
struct TSoundSettings {
    TAudioSettings Audio;
    std::string SoundFont;
    int Gain = TSynthSettings{}.Gain;
    std::array<std::string, 4> Instruments{};

    bool operator==(const TSoundSettings&) const = default;
};

// Settings → Sound …: the audio system, device and sample rate with the
// output's state, the SoundFont (through the file dialog), the gain, a test
// tone, and per breeder its instrument. It only edits: Ok and Apply hand the
// choice to the apply function, which makes it heard or refuses it with a
// message; a refused choice leaves the dialog open.
class TFormSound : public QDialog {
    Q_OBJECT
public:
    // True when the choice took effect.
    using TApply = std::function<bool(const TSoundSettings&)>;
    static constexpr const char* kDefaultDevice = "(default)";
    static constexpr int kStatusMilliseconds = 500;

    // `host`: the engine's output, for its devices, its state and the test
    // tone; null when there is none (they are then disabled).
    TFormSound(TAudioHost* host, const TLv2Catalog& catalog, TApply apply, QWidget* parent = nullptr);

    void SetSettings(const TSoundSettings& settings);
    TSoundSettings Settings() const;

    // Shows the dialog modally; true when it was closed with Ok.
    bool Execute();

private:
    QWidget* CreateOutputGroup();
    QWidget* CreateSynthGroup();
    // The devices of the system shown, `chosen` among them.
    void FillDevices(const std::string& chosen);
    void ChooseSoundFont();
    void ShowStatus();
    bool Apply();

    TAudioHost* FHost;
    TApply FApply;
    QComboBox* FSystem = nullptr;
    QComboBox* FDevice = nullptr;
    QComboBox* FSampleRate = nullptr;
    QLabel* FStatus = nullptr;
    QLineEdit* FSoundFont = nullptr;
    QSpinBox* FGain = nullptr;
    QPushButton* FTestTone = nullptr;
    TLv2InstrumentChoice* FInstruments = nullptr;
    QTimer* FStatusTimer = nullptr;
};

} // namespace zw
