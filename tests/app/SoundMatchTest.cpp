// Breeding toward a sound, through the window: a target file chosen, the
// search's progress, Cancel, the matches as one undo step, A/B against the
// target through the audio engine, the automation row, and a breeder that
// plays an LV2 instrument.
#include "MainWindowFixture.h"

#include "app/EntryPlayer.h"
#include "app/MatchRenderers.h"
#include "audio/AudioHost.h"
#include "audio/Lv2RenderHost.h"
#include "match/Distance.h"
#include "match/Target.h"
#include "midi/SynthBinding.h"
#include "rules/FrmTranslat.h"
#include "support/OfflineSynth.h"
#include "ui/Forms.h"
#include "ui/SoundMatch.h"
#include "ui/StatusLine.h"

#include <QAction>
#include <QProgressBar>


namespace zw::test {
namespace {

class SoundMatchTest : public MainWindowTest {
protected:
    // The built-in synthesizer's rules: the search plays them.
    std::string Settings() const override
    {
        return MainWindowTest::Settings() + "[Translations]\r\nFileName=" ZW_SYNTH_RULES "\r\n";
    }

    void SetUp() override
    {
        FormTranslate = Editor.get();
        MainWindowTest::SetUp();
    }

    void TearDown() override
    {
        // The window's ports use the synthesizer's binding: they go first.
        Form.reset();
        FormTranslate = nullptr;
        MainWindowTest::TearDown();
    }

    // Worm 7 of breeder A as the built-in synthesizer (or `lv2`) plays it, a
    // second long, as a WAV file.
    QString WriteTarget(TLv2RenderHost* lv2 = nullptr)
    {
        const QString fileName = Folder.filePath("target.wav");
        const TEntryPlayer player(FormTranslate->Substitution(), Form->Sound().Synth(), 0, lv2, {60, 100, 1.0});
        player.Save(Panel(0)->Worms(7)->Gene(), fileName.toStdString());
        return fileName;
    }

    void ChooseTarget(const QString& fileName)
    {
        Dialogs.FileNames = {fileName};
        Form->findChild<QAction*>("MenuBreedToward")->trigger();
    }

    double EngineLevel()
    {
        std::vector<float> left(4800), right(4800);
        EXPECT_TRUE(Synth.Audio().Render(left.data(), right.data(), 4800));
        return Rms(left.data(), left.size());
    }

    QProgressBar* Progress() const { return Find<QProgressBar>("ProgressBarMatch"); }

    std::unique_ptr<TFormTranslate> Editor = std::make_unique<TFormTranslate>();
    TSynthBinding Synth{Midi, TSynthOutput::Offline};
    TScopedMidiBinding ScopedSynth{&Synth};
};

TEST_F(SoundMatchTest, TheMatchesReplaceTheWormsInOneUndoStepAndABPlaysTheTarget)
{
    TWormPanel* panel = Panel(0);
    panel->SetFrozen(2);
    panel->SetAudible(3);
    // The search moves only what the rules hear, never a locked gene.
    TGeneMask mask;
    mask.SetLocked(4, true);
    panel->SetGeneMask(mask);
    const TGenome start = Genome(panel->Worms(3));
    Form->Match().SetBudget(60);
    // A file that cannot be matched is told, and nothing starts.
    ChooseTarget(Folder.filePath("none.wav"));
    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_TRUE(Dialogs.Errors[0].contains("none.wav")) << Dialogs.Errors[0].toStdString();
    EXPECT_FALSE(Form->Match().Running() || Form->Match().TargetLoaded());
    Dialogs.Errors.clear();

    const QString targetFile = WriteTarget();
    ChooseTarget(targetFile);
    ASSERT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join("\n").toStdString();
    ASSERT_TRUE(Form->Match().Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Progress()->text().contains("renders"); }, 30000))
        << Progress()->text().toStdString();
    EXPECT_TRUE(Progress()->isVisible());

    // Breeding goes on meanwhile; a second search is refused.
    Click("SpeedButtonMutate");
    ChooseTarget(targetFile);
    EXPECT_EQ(Dialogs.Messages.size(), 1);
    const std::vector<TGenome> before = Genomes(panel);

    panel->SetRating(1, 2);
    Form->Reports.clear();
    Click("ButtonMatchCancel");
    EXPECT_FALSE(Form->Match().Running());
    EXPECT_FALSE(Progress()->isVisible());
    const std::vector<TGenome> after = Genomes(panel);
    EXPECT_EQ(after[2], before[2]) << "the frozen worm stays";
    EXPECT_NE(after[0], before[0]);
    EXPECT_EQ(panel->Audible(), 0) << "the best match is audible";
    ASSERT_FALSE(Form->Reports.empty());
    EXPECT_EQ(Form->Reports.back().Genes, after[0]) << "and sent";
    EXPECT_EQ(panel->Rating(1), 0) << "a replaced worm's rating goes with it";
    // The matches fill the worms in order, the frozen one left out.
    bool replacing = true;
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == 2)
            continue;
        const bool replaced = after[i] != before[i];
        EXPECT_TRUE(replacing || !replaced) << "worm " << i;
        replacing = replacing && replaced;
        for (size_t gene = 0; replaced && gene < start.size(); ++gene) {
            if (gene == 4 || !Editor->Substitution().Active(static_cast<int>(gene))) {
                EXPECT_EQ(after[i][gene], start[gene]) << "worm " << i << " gene " << gene;
            }
        }
    }

    QTest::keyClick(Form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Genomes(panel), before) << "one undo brings back every worm";
    EXPECT_EQ(panel->Audible(), 3);
    EXPECT_EQ(panel->Rating(1), 2);

    // A/B plays the target through the engine instead of the breeder, and back.
    EXPECT_LT(EngineLevel(), 1e-4);
    QTest::keyClick(Form.get(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(Form->Match().TargetHeard());
    EXPECT_EQ(panel->Audible(), 3) << "no worm A/B meanwhile";
    const std::vector<float> heard = ReadTarget(targetFile.toStdString(), 48000).Samples;
    const double level = Rms(heard.data(), std::min<size_t>(heard.size(), 4800));
    EXPECT_NEAR(EngineLevel(), level, 0.2 * level);
    QTest::keyClick(Form.get(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(Form->Match().TargetHeard());
    EngineLevel(); // where the cut sound dies away
    EXPECT_LT(EngineLevel(), 1e-4);
}

TEST_F(SoundMatchTest, TheAutomationRowBreedsTowardTheTargetAndClosingEndsASearch)
{
    // Without a target the row says what it needs.
    Click("SpeedButtonChActiveA");
    Click("SpeedButtonAutoTowardTargetA");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->StatusLine()->text().contains("needs one"); }, 5000));

    const std::vector<TGenome> before = Genomes(Panel(0));
    Form->Match().SetBudget(0.2);
    ChooseTarget(WriteTarget());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Genomes(Panel(0)) != before; }, 30000));
    // The automation goes on from the best.
    const std::vector<TGenome> matched = Genomes(Panel(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Genomes(Panel(0)) != matched; }, 30000));

    // A search from the menu ends the automation's and takes its place (a
    // minute long: it still runs after two automation periods); a search
    // under way ends with the window.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Match().Running(); }, 30000));
    Form->Match().SetBudget(60);
    ChooseTarget(WriteTarget());
    EXPECT_TRUE(Dialogs.Messages.isEmpty());
    QTest::qWait(1500);
    ASSERT_TRUE(Form->Match().Running());
    Form->close();
    Form.reset();
}

constexpr const char* kJx10 = "http://drobilla.net/plugins/mda/JX10";

class SoundMatchLv2Test : public SoundMatchTest {
protected:
    std::string Settings() const override
    {
        return SoundMatchTest::Settings() + "[Instruments]\r\nA=" + kJx10 + "\r\n";
    }
};

// A breeder on an LV2 instrument is matched on that instrument: only the
// genes its ports take move, and the best match sounds nearer the target
// than the worm the search started from.
TEST_F(SoundMatchLv2Test, ABreederOnAnLv2InstrumentIsMatchedThroughItsPorts)
{
    TWormPanel* panel = Panel(0);
    panel->SetFrozen(2);
    panel->SetAudible(3);
    const TGenome start = Genome(panel->Worms(3));
    TLv2RenderHost host(kJx10);
    const QString targetFile = WriteTarget(&host);
    Form->Match().SetBudget(3);
    ChooseTarget(targetFile);
    ASSERT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join("\n").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->Match().Running(); }, 60000));
    ASSERT_EQ(panel->Audible(), 0);
    const TGenome best = Genome(panel->Worms(0));
    ASSERT_NE(best, start);

    std::vector<bool> free(start.size());
    for (const TMatchSpace::TFreeGene& gene : Lv2MatchSpace(kJx10, static_cast<int>(start.size())).Free)
        free[static_cast<size_t>(gene.Gene)] = true;
    for (size_t gene = 0; gene < start.size(); ++gene)
        if (!free[gene]) {
            EXPECT_EQ(best[gene], start[gene]) << "gene " << gene << " is no port of the instrument";
        }
    const TTarget target = ReadTarget(targetFile.toStdString(), 48000);
    const TRendererFactory renderers = MakeRenderers({kJx10, nullptr, {}, 0}, {60, 100, 1.0});
    const std::unique_ptr<TRenderer> renderer = renderers();
    TSpectralDistance distance(TDistanceSettings{}, 48000);
    EXPECT_LT(distance.Between(renderer->Render(best), target.Samples),
              distance.Between(renderer->Render(start), target.Samples));
}

} // namespace
} // namespace zw::test
