#pragma once

#include "ui/AuditionControl.h"
#include "ui/Automation.h"
#include "ui/ExportActions.h"
#include "ui/FrmMain.h"
#include "ui/KeptBreeders.h"
#include "ui/MidiControls.h"
#include "ui/MidiDevices.h"
#include "ui/SoundControl.h"
#include "app/IniFile.h"
#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/Random.h"
#include "common/SafeFile.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedMidiBinding.h"
#include "worms/Gene.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zw::test {

using TGenome = std::vector<uint8_t>;

inline TGenome Genome(const TGene& gene) { return TGenome(gene.Data(), gene.Data() + gene.Size()); }
inline TGenome Genome(const TWorm* worm) { return Genome(worm->Gene()); }

inline std::vector<TGenome> Genomes(const TWormPanel* panel)
{
    std::vector<TGenome> genomes;
    for (int i = 0; i < panel->WormCount(); ++i)
        genomes.push_back(Genome(panel->Worms(i)));
    return genomes;
}

// The main window with its dispatch observed: every report of a panel's
// audible worm is recorded (channel and genome) after the window's own
// handling, and a channel can be made to fail as a broken rule would.
class TRecordingFormMain : public TFormMain {
public:
    struct TReport {
        int Channel;
        TGenome Genes;
    };
    std::vector<TReport> Reports;
    int FailingChannel = -1;

    std::vector<int> ReportedChannels() const
    {
        std::vector<int> channels;
        for (const TReport& report : Reports)
            channels.push_back(report.Channel);
        return channels;
    }

protected:
    void WormPanelWormChanged(TWormPanel* aSender, const TGene& aGene) override
    {
        TFormMain::WormPanelWormChanged(aSender, aGene);
        Reports.push_back({aSender->Tag(), Genome(aGene)});
        if (aSender->Tag() == FailingChannel)
            throw Exception("Syntax error in rule");
    }
};

// A shown, active main window built from the generator's initial state, with
// scripted dialogs, scripted MIDI devices and the program folder in a
// temporary directory.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        SetProgramPath(Folder.path().toStdString());
        WriteFileAtomically(IniFileName(), Settings());
        RandSeed(0);
        Form = std::make_unique<TRecordingFormMain>();
        Form->show();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        Form->Reports.clear();
    }

    // The settings file the window starts with. Not a first start: the
    // scripted devices have no built-in synthesizer to choose.
    virtual std::string Settings() const { return "[Midi]\r\nMidiOut=\r\n"; }

    template <typename T = QToolButton>
    T* Find(const char* name) const
    {
        T* child = Form->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    TWormPanel* Panel(int channel) const { return Form->WormPanel(channel); }

    std::vector<std::vector<TGenome>> AllGenomes() const
    {
        std::vector<std::vector<TGenome>> all;
        for (int channel = 0; channel < 4; ++channel)
            all.push_back(Genomes(Panel(channel)));
        return all;
    }

    void Click(const char* buttonName) { QTest::mouseClick(Find(buttonName), Qt::LeftButton); }

    QTemporaryDir Folder;
    TScriptedDialogs Dialogs;
    TScopedDialogs ScopedDialogs{Dialogs};
    // No system MIDI in tests: the ports see the scripted devices only.
    TScriptedMidiBinding Midi;
    TScopedMidiBinding ScopedMidi{&Midi};
    std::unique_ptr<TRecordingFormMain> Form;
};

} // namespace zw::test
