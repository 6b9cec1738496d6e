// Breeders' LV2 instruments made in the background, one failing, and kept through
// File -> Save as LV2 preset, offline with mda JX10.
#include "ui/InstrumentBreeders.h"
#include "audio/AudioHost.h"
#include "audio/Lv2State.h"
#include "audio/Lv2UridMap.h"
#include "midi/MidiScheduler.h"
#include "support/ScriptedDialogs.h"
#include "support/TempPath.h"
#include "worms/Gene.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace zw {
namespace {

TEST(InstrumentBreeders, TriesAFailedOneAgainAndSavesWhatOnePlaysAsAPresetAskingBeforeReplacing)
{
    const std::string home = TempPath("home");
    setenv("HOME", home.c_str(), 1);
    TLv2Catalog catalog;
    TAudioHost audio(nullptr);
    TMidiScheduler scheduler;
    TInstrumentBreeders instruments(catalog, audio, scheduler);
    QSignalSpy failed(&instruments, &TInstrumentBreeders::Failed);
    const std::array<std::string, 4> uris = {"http://drobilla.net/plugins/mda/JX10", "urn:zw:none", "", ""};
    instruments.Configure(uris);
    ASSERT_TRUE(QTest::qWaitFor([&] { return instruments.Plays(0) && failed.size() == 1; }, 20000));
    instruments.Configure(uris); // the one that failed is tried again
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed.size() == 2; }, 20000));
    const std::vector<uint8_t> highest(120, 255); // every breedable input at its maximum
    instruments.SetGenome(0, TGene(highest.data(), 120));

    TScriptedDialogs dialogs;
    TScopedDialogs scoped(dialogs);
    AskSaveLv2Preset(&instruments, 1);
    ASSERT_EQ(dialogs.Messages.size(), 1);
    EXPECT_TRUE(dialogs.Messages[0].startsWith("Breeder B plays no LV2 instrument")) << dialogs.Messages[0].toStdString();

    dialogs.Inputs = {{true, "  Bright one "}, {true, "Bright one"}};
    AskSaveLv2Preset(&instruments, 0);
    const std::string bundle = home + "/.lv2/Bright_one.lv2";
    ASSERT_EQ(dialogs.Messages.size(), 2);
    EXPECT_EQ(dialogs.Messages[1].toStdString(),
              "The LV2 preset \"Bright one\" of " + instruments.Name(0) + " is saved in \"" + bundle + "\".");
    EXPECT_TRUE(dialogs.Questions[0].endsWith("[" + QString::fromStdString(instruments.Name(0)) + " A]"));
    TLv2UridMap urids;
    TLv2World reader;
    const TLv2PortValues values = ReadLv2PresetValues(reader.Get(), urids, bundle + "/Bright_one.ttl");
    EXPECT_EQ(values.size(), 24u);
    EXPECT_EQ(std::count_if(values.begin(), values.end(), [](const auto& v) { return v.second == 1.0f; }), 22)
        << "JX10 breeds 22 of its 24 inputs, all 0..1";

    // The same name again: the user is asked, and "No" saves nothing.
    AskSaveLv2Preset(&instruments, 0);
    ASSERT_EQ(dialogs.Questions.size(), 3); // name, name, replace?
    EXPECT_TRUE(dialogs.Questions[2].contains(QString::fromStdString(bundle)));
    EXPECT_EQ(dialogs.Messages.size(), 2);
    EXPECT_TRUE(dialogs.Errors.isEmpty());
}

} // namespace
} // namespace zw
