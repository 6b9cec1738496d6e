// The main window's side of the settings file: what it reads at creation and
// writes at close, and the rule file name it hands the rules editor.
#include "app/Forms.h"
#include "app/FrmMain.h"
#include "app/IniFile.h"
#include "worms/WormPanel.h"
#include "rules/FrmTranslat.h"

#include <QSpinBox>
#include <QToolButton>

namespace zw {

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
    }
    s.MidiIn = FMidiInName.toStdString();
    s.MidiOut = FMidiOutName.toStdString();
    s.InChannels = FInChannels;
    s.OutChannels = FOutChannels;
    s.MidiSystem = FMidiSystem;
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
    TMainSettings s = CurrentSettings();
    // The settings hold the MIDI names read at start, not the ones in use.
    s.MidiIn = FMidiInSetting.toStdString();
    s.MidiOut = FMidiOutSetting.toStdString();
    s.ReadFromFile(IniFileName());

    move(s.Left, s.Top);
    resize(s.Width, s.Height);
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
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        if (FAutoMate.Contains(c) && !FAutoMutate.Contains(c))
            FAutoButtons[0][i]->setChecked(false);
        if (FAutoMutate.Contains(c)) {
            FAutoButtons[0][i]->setChecked(false);
            FAutoButtons[1][i]->setChecked(false);
        }
    }

    FMidiInSetting = QString::fromStdString(s.MidiIn);
    FMidiOutSetting = QString::fromStdString(s.MidiOut);
    FInChannels = s.InChannels;
    FOutChannels = s.OutChannels;
    FMidiSystem = s.MidiSystem;

    if (FormTranslate) {
        FormTranslate->SetFileName(s.FileName);
        FormTranslate->LoadRules();
    }
}

void TFormMain::LoadTranslations()
{
    if (!FormTranslate || FormTranslate->FileNameAssigned())
        return;
    FormTranslate->SetFileName(TMainSettings::ReadRuleFileName(IniFileName(), FormTranslate->FileName()));
    FormTranslate->LoadRules();
}

void TFormMain::WriteSettings() { CurrentSettings().WriteToFile(IniFileName()); }

} // namespace zw
