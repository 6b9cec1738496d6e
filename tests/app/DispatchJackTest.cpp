// The main window's dispatch to another program on the JACK server.
#include "ui/Forms.h"
#include "ui/FrmMain.h"
#include "ui/MidiDevices.h"
#include "app/IniFile.h"
#include "common/Globals.h"
#include "common/SafeFile.h"
#include "midi/RtMidiBinding.h"
#include "rules/FrmTranslat.h"
#include "rules/Substitution.h"
#include "support/JackPeer.h"
#include "support/ScriptedDialogs.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <unistd.h>

namespace zw {
namespace {

using namespace std::chrono_literals;

TEST(DispatchJack, RunningStatusCarriesAcrossGenomesAndIncompleteBytesAreReportedOnce)
{
    ASSERT_TRUE(JackServerAnswers()) << "No JACK server answers; `make test` starts one.";
    QTemporaryDir folder;
    SetProgramPath(folder.path().toStdString());
    TScriptedDialogs dialogs;
    TScopedDialogs useDialogs(dialogs);
    const auto binding = MakeRtMidiBinding(TMidiSystem::Jack);
    TScopedMidiBinding useBinding(binding.get());
    TJackPeer peer("zwdispatchpeer" + std::to_string(getpid()));

    // Gene 0 sends data bytes only, gene 1 a whole control change, gene 2 a cut one.
    TSubstitution rules;
    rules.SetCount(120);
    const char* texts[] = {"1(0) 7(%2) 1(0) 7(%3)", "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)", "4(CC) 4(%1) 1(0) 7(%2)"};
    for (int i = 0; i < 3; ++i) {
        rules.SetRule(i, texts[i]);
        rules.SetActive(i, true);
    }
    rules.SaveToFile(ProgramPath() + "default.sub");
    WriteFileAtomically(IniFileName(), "[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=" + peer.InPortName() +
                                           "\r\nOutChannelA=4\r\n");
    TFormMain form;
    FormMain = &form;
    TFormTranslate editor;
    FormTranslate = &editor;
    struct TForget {
        ~TForget() { FormTranslate = nullptr, FormMain = nullptr; }
    } forget; // before the windows go
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(form.Midi().OutOpen()) << dialogs.Messages.join("; ").toStdString();

    auto audibleGene = [&](int gene) {
        const TWormPanel& panel = *form.WormPanel(0);
        return static_cast<uint8_t>(panel.Worms(panel.Audible())->Gene().Genes(gene) & 0x7F);
    };
    // The first genome, the one the start sends: gene 0 has no status to run on yet.
    ASSERT_TRUE(peer.WaitFor(1));
    EXPECT_EQ(peer.Received(), (std::vector<TMidiBytes>{{0xB4, 1, audibleGene(1)}}));
    ASSERT_EQ(dialogs.Errors.size(), 1);
    EXPECT_EQ(dialogs.Errors[0].toStdString(), "The rule of gene 0 gave 2 bytes that make no complete MIDI message, "
                                                "and so did the rules of 1 more gene; these bytes were not sent.");

    // The next genome: gene 0 runs on the status sent before.
    peer.Clear();
    dialogs.Errors.clear();
    QTest::keyClick(&form, Qt::Key_Right);
    ASSERT_TRUE(peer.WaitFor(2));
    EXPECT_FALSE(peer.WaitFor(3, 50ms)) << "nothing more may come";
    EXPECT_EQ(peer.Received(), (std::vector<TMidiBytes>{{0xB4, 0, audibleGene(0)}, {0xB4, 1, audibleGene(1)}}));
    EXPECT_EQ(dialogs.Errors, QStringList{"The rule of gene 2 gave 2 bytes that make no complete MIDI message; "
                                          "these bytes were not sent."});
}

} // namespace
} // namespace zw
