// The main window's side of the settings file: what it reads at creation and
// writes at close, and the rule file name it hands the rules editor.
#include "app/ControlMap.h"
#include "app/Forms.h"
#include "app/FrmMain.h"
#include "app/IniFile.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "midi/SynthBinding.h"
#include "worms/WormPanel.h"
#include "rules/FrmTranslat.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>

namespace zw {
namespace {

// A device name as the file keeps it: the bytes read at start while the name
// in use is still the one they gave, so bytes that are no UTF-8 stay as they were.
std::string NameBytes(const QString& name, const std::string& read)
{
    return QString::fromStdString(read) == name ? read : name.toStdString();
}

// The stored bounds within the available area of the screen they start on
// (the primary one when none): a size beyond any screen costs memory at the
// first paint, a position off every screen hides the window.
QRect ConfinedBounds(const TMainSettings& s, const QSize& minimum)
{
    // Not a QRect of the stored values: their right edge may lie beyond int.
    const QScreen* screen = QGuiApplication::screenAt(QPoint(s.Left, s.Top));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, minimum.width(), minimum.height());
    const int width = std::clamp(s.Width, minimum.width(), std::max(minimum.width(), area.width()));
    const int height = std::clamp(s.Height, minimum.height(), std::max(minimum.height(), area.height()));
    const int left = std::clamp(s.Left, area.left(), std::max(area.left(), area.left() + area.width() - width));
    const int top = std::clamp(s.Top, area.top(), std::max(area.top(), area.top() + area.height() - height));
    return QRect(left, top, width, height);
}

} // namespace

TMainSettings TFormMain::CurrentSettings() const
{
    TMainSettings s;
    s.Left = x();
    s.Top = y();
    s.Width = width();
    s.Height = height();
    const TWormPanel& channelA = *FWormPanels[0];
    s.CrossoverProbability = channelA.CrossOverProbability();
    s.MutationProbability = channelA.MutationProbability();
    s.MutationRange = channelA.MutationRange();
    s.AutoInterval = FAutoInterval;
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        s.ChannelActive[i] = FActiveChannels.Contains(c);
        s.AutoRandomize[i] = FAutoRandomize.Contains(c);
        s.AutoMate[i] = FAutoMate.Contains(c);
        s.AutoMutate[i] = FAutoMutate.Contains(c);
        s.AutoBreedFromRated[i] = FAutoBreedFromRated.Contains(c);
    }
    s.MidiIn = NameBytes(FMidiInName, FMidiInBytes);
    s.MidiOut = NameBytes(FMidiOutName, FMidiOutBytes);
    s.InChannels = FInChannels;
    s.OutChannels = FOutChannels;
    s.Thru = FThru;
    s.Audition = FAudition;
    s.MidiSystem = FMidiSystem;
    s.Synth = FSynthSettings;
    s.Audio = FAudioSettings;
    s.Instruments = FInstrumentUris;
    s.Controls = FControls->Settings();
    for (TChannel c = 0; c < kChannelCount; ++c) {
        s.Audible[static_cast<size_t>(c)] = WormPanel(c)->Audible();
        s.Frozen[static_cast<size_t>(c)] = WormPanel(c)->Frozen();
        s.GeneMasks[static_cast<size_t>(c)] = WormPanel(c)->GeneMask();
    }
    s.GeneViewShown = GeneViewShown();
    if (FormTranslate) {
        s.FileName = FormTranslate->FileName();
        s.FileNameAssigned = FormTranslate->FileNameAssigned();
    }
    return s;
}

void TFormMain::ApplyFlags(TChannelSet& set, const std::array<bool, kChannelCount>& flags,
                           const std::array<QToolButton*, kChannelCount>& buttons)
{
    for (TChannel c = 0; c < kChannelCount; ++c)
        if (flags[static_cast<size_t>(c)])
            set.Include(c);
    // Setting a button runs none of its click actions: nothing is sent here.
    for (TChannel c = 0; c < kChannelCount; ++c)
        buttons[static_cast<size_t>(c)]->setChecked(set.Contains(c));
}

void TFormMain::ReadSettings()
{
    // Saves cut short by a kill left their temporary files; this run's start clean.
    RemoveLeftoverTemporaries(IniFileName());
    RemoveLeftoverTemporaries(BreedersFileName());
    TMainSettings s = CurrentSettings();
    // The settings hold the MIDI names read at start, not the ones in use.
    s.MidiIn = NameBytes(FMidiInSetting, FMidiInBytes);
    s.MidiOut = NameBytes(FMidiOutSetting, FMidiOutBytes);
    try {
        s.ReadFromFile(IniFileName());
    } catch (const EInOutError& e) {
        // Starting with the defaults loses nothing as long as the file is
        // never replaced by what this run saw of it.
        FSettingsUnreadable = true;
        Dialogs().ShowError(QString::fromStdString(
            Format("The settings file \"%s\" could not be read: %s. The program starts with default settings "
                   "and leaves that file as it is.",
                   Escaped(e.FileName()).c_str(), e.Reason().c_str())));
    }

    const QRect bounds = ConfinedBounds(s, minimumSize());
    move(bounds.topLeft());
    resize(bounds.size());
    for (TWormPanel* panel : FWormPanels) {
        panel->SetCrossOverProbability(s.CrossoverProbability);
        panel->SetMutationProbability(s.MutationProbability);
        panel->SetMutationRange(s.MutationRange);
    }
    SetAutoInterval(s.AutoInterval);

    ApplyFlags(FActiveChannels, s.ChannelActive, FChActiveButtons);
    // The mode buttons of a channel show at most one down, the last row that has it.
    ApplyFlags(FAutoRandomize, s.AutoRandomize, FAutoButtons[0]);
    ApplyFlags(FAutoMate, s.AutoMate, FAutoButtons[1]);
    ApplyFlags(FAutoMutate, s.AutoMutate, FAutoButtons[2]);
    ApplyFlags(FAutoBreedFromRated, s.AutoBreedFromRated, FAutoButtons[3]);
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        bool later = false; // a later row shows the channel's mode
        for (std::size_t row = FAutoButtons.size(); row-- > 0;) {
            if (later)
                FAutoButtons[row][i]->setChecked(false);
            later = later || FAutoButtons[row][i]->isChecked();
        }
    }

    FMidiInBytes = s.MidiIn;
    FMidiOutBytes = s.MidiOut;
    FMidiInSetting = QString::fromStdString(s.MidiIn);
    FMidiOutSetting = QString::fromStdString(s.MidiOut);
    FInChannels = s.InChannels;
    FOutChannels = s.OutChannels;
    FThru = s.Thru;
    FAudition = s.Audition;
    FMidiSystem = s.MidiSystem;
    FSynthSettings = s.Synth;
    FAudioSettings = s.Audio;
    FFirstSteps = TFirstSteps(s.FirstStart);
    ShowHint();
    ConfigureSynthesizer(MidiBinding(), FSynthSettings, FAudioSettings);
    FInstrumentUris = s.Instruments;
    ConfigureInstruments();
    ApplyControlSettings(s.Controls);
    ReadBreeders(s.Audible, s.Frozen);
    for (TChannel c = 0; c < kChannelCount; ++c) {
        WormPanel(c)->SetGeneMask(s.GeneMasks[static_cast<size_t>(c)]);
        FDefaultLocksDue[static_cast<size_t>(c)] = !s.LocksKept[static_cast<size_t>(c)];
    }
    QStringList unreadable;
    for (const std::string& message : s.Unreadable)
        unreadable << QString::fromStdString(message);
    if (!unreadable.isEmpty())
        Dialogs().ShowError(unreadable.join('\n'));
    // The previous worm of A/B is one the user heard in this run.
    for (TWormPanel* panel : FWormPanels)
        panel->ClearPrevious();

    if (FormTranslate) {
        FormTranslate->SetFileName(s.FileName);
        FormTranslate->LoadRules();
        ApplyDefaultLocks();
    }
    SetGeneViewShown(s.GeneViewShown);
}

void TFormMain::LoadTranslations()
{
    if (!FormTranslate || FormTranslate->FileNameAssigned())
        return;
    if (!FSettingsUnreadable)
        FormTranslate->SetFileName(TMainSettings::ReadRuleFileName(IniFileName(), FormTranslate->FileName()));
    FormTranslate->LoadRules();
    ApplyDefaultLocks();
    UpdateGeneInfo();
}

void TFormMain::WriteSettings()
{
    if (FSettingsUnreadable)
        return;
    const std::vector<std::string> skipped = CurrentSettings().WriteToFile(IniFileName());
    QStringList messages;
    for (const std::string& message : skipped)
        messages << QString::fromStdString(message);
    if (!messages.isEmpty())
        Dialogs().ShowError(messages.join('\n'));
}

} // namespace zw
