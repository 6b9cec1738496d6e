// The main window on a JACK server of its own, its automation sending to a
// peer: the server killed and started again, the peer closed and back. Each
// loss is told once, the window goes on, and the output reopens by itself.
#include "ui/Forms.h"
#include "ui/FrmMain.h"
#include "ui/MidiDevices.h"
#include "ui/StatusLine.h"
#include "common/Globals.h"
#include "common/Random.h"
#include "common/SafeFile.h"
#include "midi/RtMidiBinding.h"
#include "rules/FrmTranslat.h"
#include "rules/Substitution.h"
#include "support/JackPeer.h"
#include "support/MidiTestSupport.h"
#include "support/PrivateJackServer.h"
#include "support/ScriptedDialogs.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace zw {
namespace {

using namespace std::chrono_literals;

class MidiRecoveryOnJack : public ::testing::Test {
protected:
    // Channel A mutates at the shortest period and sends to the peer.
    virtual std::string Settings() const
    {
        return "[Settings]\r\nChannelActiveA=1\r\nAutoMutateA=1\r\nAutoInterval=600\r\n[Midi]\r\nMidiOut=" +
               Peer->InPortName() + "\r\nMidiIn=" + Peer->OutPortName() + "\r\n";
    }

    void SetUp() override
    {
        ASSERT_TRUE(Server.Start()) << Server.Log();
        ASSERT_TRUE(Folder.isValid());
        SetProgramPath(Folder.path().toStdString());
        TSubstitution rules;
        rules.SetCount(120);
        for (int i = 0; i < 120; ++i) {
            rules.SetRule(i, "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)");
            rules.SetActive(i, true);
        }
        rules.SaveToFile(ProgramPath() + "default.sub");
        Peer = std::make_unique<TJackPeer>(PeerName);
        WriteFileAtomically(IniFileName(), Settings());
        Binding = MakeRtMidiBinding(TMidiSystem::Jack);
        Scoped = std::make_unique<TScopedMidiBinding>(Binding.get());
        RandSeed(0);
        Form = std::make_unique<TFormMain>();
        FormMain = Form.get();
        Editor = std::make_unique<TFormTranslate>();
        FormTranslate = Editor.get();
        Form->show();
        ASSERT_TRUE(Form->Midi().OutOpen() && Form->Midi().InOpen()) << Dialogs.Messages.join('\n').toStdString();
        // A new audible worm, apart from the frozen one, changes at every mutation tick.
        QTest::keyClick(Form.get(), Qt::Key_Right);
        ASSERT_TRUE(RunUntil([&] { return !Peer->Received().empty(); })) << "the window reaches the peer; told: "
                                                                     << Dialogs.Errors.join('\n').toStdString();
    }

    void TearDown() override
    {
        Form.reset();
        FormMain = nullptr;
        FormTranslate = nullptr;
    }

    // Runs the window's event loop until `done`, or fails after `timeout`.
    template <typename F>
    bool RunUntil(F done, std::chrono::milliseconds timeout = 15s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            QTest::qWait(20);
        }
        return true;
    }

    QString MidiStatus() const { return Form->StatusLine()->Message(TStatusTopic::Midi); }

    // The loss is told in the status line, and no box stands in the way.
    void ExpectLossTold(TMidiResult code)
    {
        ASSERT_TRUE(RunUntil([&] { return !MidiStatus().isEmpty(); })) << "the loss was not told";
        EXPECT_EQ(MidiStatus().toStdString(), BindingText(code));
        EXPECT_TRUE(Dialogs.Errors.isEmpty() && Dialogs.Messages.isEmpty())
            << (Dialogs.Errors + Dialogs.Messages).join('\n').toStdString();
    }

    // The peer hears the automation again, and the window said so.
    void ExpectSendingResumes(const QString& told)
    {
        Peer->Clear();
        ASSERT_TRUE(RunUntil([&] { return Form->Midi().OutOpen(); })) << "the output did not reopen";
        EXPECT_TRUE(RunUntil([&] { return !Peer->Received().empty(); })) << "nothing arrives after the reopening";
        EXPECT_EQ(MidiStatus(), told);
        QTest::qWait(1500);
        EXPECT_TRUE(Dialogs.Errors.isEmpty() && Dialogs.Messages.isEmpty())
            << (Dialogs.Errors + Dialogs.Messages).join('\n').toStdString();
    }

    TPrivateJackServer Server{"zwirbels-recovery"};
    const std::string PeerName = "zwrecover" + std::to_string(getpid());
    QTemporaryDir Folder;
    TScriptedDialogs Dialogs;
    TScopedDialogs ScopedDialogs{Dialogs};
    std::unique_ptr<TJackPeer> Peer;
    std::unique_ptr<TSystemMidiBinding> Binding;
    std::unique_ptr<TScopedMidiBinding> Scoped;
    std::unique_ptr<TFormMain> Form;
    std::unique_ptr<TFormTranslate> Editor;
};

TEST_F(MidiRecoveryOnJack, AKilledServerIsToldOnceAndTheOutputReopensWhenItIsBack)
{
    Server.Kill();
    // libjack frees every client of a dead server at the next client open:
    // the peer's go before the window looks for the server again.
    Peer.reset();
    ASSERT_NO_FATAL_FAILURE(ExpectLossTold(MIDIERR_SERVERSTOPPED));
    EXPECT_TRUE(Form->Midi().OutLost() && Form->Midi().InLost());
    QTest::qWait(2500); // ticks go on while the server is away, without a word
    EXPECT_EQ(MidiStatus().toStdString(), BindingText(MIDIERR_SERVERSTOPPED));
    EXPECT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join('\n').toStdString();
    EXPECT_TRUE(Form->isVisible());

    ASSERT_TRUE(Server.Start()) << Server.Log();
    Peer = std::make_unique<TJackPeer>(PeerName);
    ExpectSendingResumes("The MIDI server answers again; the MIDI devices have been reopened.");
    EXPECT_TRUE(Form->Midi().InOpen()) << "the input reopened too";
}

TEST_F(MidiRecoveryOnJack, AClosedReceiverIsToldOnceAndTheOutputReopensWhenItIsBack)
{
    Peer.reset();
    ASSERT_NO_FATAL_FAILURE(ExpectLossTold(MIDIERR_NODEVICE));
    QTest::qWait(2000);
    EXPECT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join('\n').toStdString();

    EXPECT_TRUE(Form->Midi().InLost()) << "the input's source went with the peer";

    Peer = std::make_unique<TJackPeer>(PeerName);
    ExpectSendingResumes("The MIDI device is back and has been reopened.");
    EXPECT_TRUE(Form->Midi().InOpen());
}

TEST_F(MidiRecoveryOnJack, AReceiverKilledWhileSendingStallsTheServerButNotTheWindow)
{
    QProcess dump;
    dump.start("jack_midi_dump", {"-a"});
    ASSERT_TRUE(dump.waitForStarted(5000));
    ASSERT_TRUE(RunUntil([&] {
        Form->Midi().SetOutDevice("midi-monitor:input");
        return Form->Midi().OutName() == "midi-monitor:input";
    })) << Dialogs.Messages.join('\n').toStdString();
    Form->Midi().SetOutOpen(true);
    ASSERT_TRUE(Form->Midi().OutOpen());
    QTest::qWait(1000);

    dump.kill();
    dump.waitForFinished(5000);
    // The server waits for the dead client for seconds; the window's event loop goes on.
    auto longestPause = std::chrono::steady_clock::duration::zero();
    auto last = std::chrono::steady_clock::now();
    RunUntil([&] {
        const auto now = std::chrono::steady_clock::now();
        longestPause = std::max(longestPause, now - last);
        last = now;
        return false;
    }, 10s);
    EXPECT_LT(longestPause, 1s) << "the window froze while the server stalled";
    // A stall may also be told as a busy device (the sender's pacing gives
    // up, counted in the status line), but the loss comes last.
    EXPECT_EQ(MidiStatus().toStdString(), BindingText(MIDIERR_NODEVICE));
    EXPECT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join('\n').toStdString();
    EXPECT_TRUE(Form->Midi().OutLost());
}

// Only audition sends (no automation): a receiver that goes is found by the
// notes the scheduler could not send, told once, and played to again as
// soon as it is back.
class AuditionRecoveryOnJack : public MidiRecoveryOnJack {
protected:
    std::string Settings() const override
    {
        return "[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=" + Peer->InPortName() + "\r\nMidiIn=" +
               Peer->OutPortName() + "\r\n[Audition]\r\nPeriod=200\r\nLength=100\r\nPlaying=1\r\n";
    }
};

TEST_F(AuditionRecoveryOnJack, AClosedReceiverIsToldOnceAndPlaysAgainWithin3s)
{
    Peer.reset();
    ASSERT_NO_FATAL_FAILURE(ExpectLossTold(MIDIERR_NODEVICE));
    EXPECT_TRUE(Form->Midi().OutLost());
    QTest::qWait(1500);
    EXPECT_EQ(MidiStatus().toStdString(), BindingText(MIDIERR_NODEVICE)) << "told once";

    Peer = std::make_unique<TJackPeer>(PeerName);
    const auto back = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunUntil([&] { return !Peer->Received().empty(); }, 3s)) << "no note within 3 s of the return";
    EXPECT_LT(std::chrono::steady_clock::now() - back, 3s);
    EXPECT_EQ(MidiStatus(), "The MIDI device is back and has been reopened.");
    EXPECT_TRUE(Dialogs.Errors.isEmpty() && Dialogs.Messages.isEmpty());
}

} // namespace
} // namespace zw
