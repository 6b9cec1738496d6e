#include "common/Dialogs.h"
#include "common/Exceptions.h"
#include "common/Guard.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace zw;

TEST(Dialogs, FiltersBecomeToolkitFiltersAndNamesGetTheDefaultExtension)
{
    EXPECT_EQ(TQtDialogs::ToolkitFilter("gene files (*.gen)|*.gen|all files (*.*)|*.*"),
              "gene files (*.gen);;all files (*.*)");
    EXPECT_EQ(TQtDialogs::ToolkitFilter("rules|*.sub"), "rules (*.sub)");
    EXPECT_EQ(TQtDialogs::WithDefaultExtension("/tmp/bank", "gen"), "/tmp/bank.gen");
    EXPECT_EQ(TQtDialogs::WithDefaultExtension("/tmp/bank.txt", "gen"), "/tmp/bank.txt");
    EXPECT_EQ(TQtDialogs::WithDefaultExtension("", "gen"), "");
}

TEST(Dialogs, RunGuardedShowsTheMessageAndGoesOn)
{
    TScriptedDialogs dialogs;
    TScopedDialogs scope(dialogs);

    int ran = 0;
    EXPECT_TRUE(RunGuarded([&] { ++ran; }));
    EXPECT_FALSE(RunGuarded([] { throw ERangeError(); }));
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("disk on fire"); }));
    EXPECT_FALSE(RunGuarded([] { throw 42; }));
    EXPECT_EQ(ran, 1);
    ASSERT_EQ(dialogs.Errors.size(), 3);
    EXPECT_EQ(dialogs.Errors[0], "Range check error");
    EXPECT_EQ(dialogs.Errors[1], "disk on fire");
    EXPECT_EQ(dialogs.Errors[2], "Unknown error");
}

TEST(Dialogs, ScriptedAnswersAreTakenInOrderAndCancelWhenExhausted)
{
    TScriptedDialogs dialogs;
    TScopedDialogs scope(dialogs);
    dialogs.Answers = {TQueryAnswer::No};
    dialogs.Inputs = {{true, "bass"}, {false, "ignored"}};
    dialogs.FileNames = {"/tmp/a"};

    EXPECT_EQ(Dialogs().AskYesNoCancel("save?"), TQueryAnswer::No);
    EXPECT_EQ(Dialogs().AskYesNoCancel("save?"), TQueryAnswer::Cancel);
    QString name = "Gene0";
    EXPECT_TRUE(Dialogs().InputQuery("Supply a name for this gene", "Name", name));
    EXPECT_EQ(name, "bass");
    name = "Gene1";
    EXPECT_FALSE(Dialogs().InputQuery("Supply a name for this gene", "Name", name));
    EXPECT_EQ(name, "Gene1");
    TFileDialogOptions options;
    options.DefaultExtension = "gen";
    EXPECT_EQ(Dialogs().SaveFileName(options), "/tmp/a.gen");
    EXPECT_EQ(Dialogs().OpenFileName(options), "");
    EXPECT_EQ(dialogs.FileDialogs.size(), 2u);
}
