#include "ui/SettingsStore.h"

#include "app/IniFile.h"
#include "common/Dialogs.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "rules/FrmTranslat.h"
#include "ui/AuditionControl.h"
#include "ui/Automation.h"
#include "ui/BreederTabs.h"
#include "ui/Forms.h"
#include "ui/GeneControls.h"
#include "ui/KeptBreeders.h"
#include "ui/MidiControls.h"
#include "ui/MidiDevices.h"
#include "ui/SoundControl.h"
#include "worms/WormPanel.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>


namespace zw {
namespace {

// The available area of the screen the stored bounds start on (the primary
// one when none).
QRect StartArea(const TMainSettings& s, const QSize& minimum)
{
    const QScreen* screen = QGuiApplication::screenAt(QPoint(s.Left, s.Top));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, minimum.width(), minimum.height());
}

void ShowMessages(const std::vector<std::string>& messages,
                  const std::function<void(const QString&)>& tell = [](const QString& text) { Dialogs().ShowError(text); })
{
    QStringList lines;
    for (const std::string& message : messages)
        lines << QString::fromStdString(message);
    if (!lines.isEmpty())
        tell(lines.join('\n'));
}

} // namespace

TSettingsStore::TSettingsStore(QWidget& window, const TBreederTabs& breeders, TSettingsParts parts)
    : FWindow(window), FBreeders(breeders), FParts(parts)
{
}

TMainSettings TSettingsStore::Current() const
{
    TMainSettings s;
    s.Left = FWindow.x();
    s.Top = FWindow.y();
    s.Width = FWindow.width();
    s.Height = FWindow.height();
    const TWormPanel& channelA = *FBreeders.Panels[0];
    s.CrossoverProbability = channelA.CrossOverProbability();
    s.MutationProbability = channelA.MutationProbability();
    s.MutationRange = channelA.MutationRange();
    FParts.Automation.SaveSettings(s);
    FParts.Midi.SaveSettings(s);
    FParts.Audition.SaveSettings(s);
    FParts.Sound.SaveSettings(s);
    FParts.Controls.SaveSettings(s);
    for (TChannel c = 0; c < kChannelCount; ++c) {
        s.Audible[static_cast<size_t>(c)] = FBreeders.Panel(c)->Audible();
        s.Frozen[static_cast<size_t>(c)] = FBreeders.Panel(c)->Frozen();
    }
    FParts.Genes.SaveSettings(s);
    if (FormTranslate) {
        s.FileName = FormTranslate->FileName();
        s.FileNameAssigned = FormTranslate->FileNameAssigned();
    }
    return s;
}

void TSettingsStore::Read(const std::function<void(bool firstStart)>& firstStart)
{
    // Saves cut short by a kill left their temporary files; this run's start clean.
    RemoveLeftoverTemporaries(IniFileName());
    RemoveLeftoverTemporaries(TKeptBreeders::FileName());
    TMainSettings s = Current();
    // The settings hold the MIDI names read at start, not the ones in use.
    FParts.Midi.SaveStartNames(s);
    try {
        s.ReadFromFile(IniFileName());
    } catch (const EInOutError& e) {
        // Starting with the defaults loses nothing as long as the file is
        // never replaced by what this run saw of it.
        FUnreadable = true;
        Dialogs().ShowError(QString::fromStdString(
            Format("The settings file \"%s\" could not be read: %s. The program starts with default settings "
                   "and leaves that file as it is.",
                   Escaped(e.FileName()).c_str(), e.Reason().c_str())));
    }

    const QRect bounds = s.Bounds(FWindow.minimumSize(), StartArea(s, FWindow.minimumSize()));
    FWindow.move(bounds.topLeft());
    FWindow.resize(bounds.size());
    for (TWormPanel* panel : FBreeders.Panels) {
        panel->SetCrossOverProbability(s.CrossoverProbability);
        panel->SetMutationProbability(s.MutationProbability);
        panel->SetMutationRange(s.MutationRange);
    }
    FParts.Automation.ApplySettings(s);
    FParts.Midi.ApplySettings(s);
    FParts.Audition.ApplySettings(s);
    firstStart(s.FirstStart);
    FParts.Sound.ApplySettings(s);
    FParts.Controls.ApplySettings(s);
    FParts.Kept.Read(s.Audible, s.Frozen);
    FParts.Genes.ApplySettings(s);
    ShowMessages(s.Unreadable);
    // The previous worm of A/B is one the user heard in this run.
    for (TWormPanel* panel : FBreeders.Panels)
        panel->ClearPrevious();

    if (FormTranslate) {
        FormTranslate->SetFileName(s.FileName);
        FormTranslate->LoadRules();
        FParts.Genes.ApplyDefaultLocks();
    }
    FParts.Genes.SetShown(s.GeneViewShown);
}

void TSettingsStore::LoadTranslations()
{
    if (!FormTranslate || FormTranslate->FileNameAssigned())
        return;
    if (!FUnreadable)
        FormTranslate->SetFileName(TMainSettings::ReadRuleFileName(IniFileName(), FormTranslate->FileName()));
    FormTranslate->LoadRules();
    FParts.Genes.ApplyDefaultLocks();
    FParts.Genes.UpdateGeneInfo();
}

void TSettingsStore::Write(const std::function<void(const QString&)>& tell)
{
    // A file that could not be read at start is still left alone.
    if (!FUnreadable)
        ShowMessages(Current().WriteToFile(IniFileName()), tell);
}

void TSettingsStore::WriteSound()
{
    if (!FUnreadable)
        ShowMessages(Current().WriteSoundToFile(IniFileName()));
}

} // namespace zw
