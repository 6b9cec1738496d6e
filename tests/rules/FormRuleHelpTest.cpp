// The rule syntax help window: the text beside the program, read once.
#include "common/Globals.h"
#include "common/SafeFile.h"
#include "rules/FrmRuleHelp.h"
#include "support/ScriptedDialogs.h"

#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace zw {
namespace {

class FormRuleHelp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        FSavedPath = ProgramPath();
        SetProgramPath(FDir.path().toStdString());
    }
    void TearDown() override { SetProgramPath(FSavedPath); }

    std::string HelpFile() const { return ProgramPath() + "RuleHelp.txt"; }

    QTemporaryDir FDir;
    std::string FSavedPath;
    TScriptedDialogs FDialogs;
    TScopedDialogs FScoped{FDialogs};
};

TEST_F(FormRuleHelp, AMissingFileIsReportedOnceAndLeavesABlankPage)
{
    TFormRuleHelp form;
    ASSERT_EQ(FDialogs.Errors.size(), 1);
    EXPECT_EQ(FDialogs.Errors[0],
              QString::fromStdString("Cannot open file \"" + HelpFile() + "\". No such file or directory"));
    EXPECT_EQ(form.Memo1()->toPlainText(), " ");

    form.show();
    form.close();
    form.show(); // showing again reads nothing and reports nothing
    EXPECT_EQ(FDialogs.Errors.size(), 1);
    EXPECT_EQ(form.Memo1()->toPlainText(), " ");
}

TEST_F(FormRuleHelp, ShowsTheFileAsSingleByteLinesAndNeverRereadsIt)
{
    WriteFileAtomically(HelpFile(), "RULES\r\n\r\n  4(CC) \xe9\r\nlast\n");
    TFormRuleHelp form;
    EXPECT_TRUE(FDialogs.Errors.isEmpty());
    EXPECT_EQ(form.Memo1()->toPlainText(), QString::fromUtf8("RULES\n\n  4(CC) \u00e9\nlast"));

    WriteFileAtomically(HelpFile(), "changed\r\n");
    form.show();
    EXPECT_EQ(form.Memo1()->toPlainText(), QString::fromUtf8("RULES\n\n  4(CC) \u00e9\nlast"));
}

TEST_F(FormRuleHelp, IsAReadOnlyFixedPitchPage)
{
    TFormRuleHelp form;
    EXPECT_EQ(form.windowTitle(), "Rule syntax help");
    EXPECT_EQ(form.size(), QSize(598, 439));
    EXPECT_EQ(form.Memo1()->objectName(), "Memo1");
    EXPECT_TRUE(form.Memo1()->isReadOnly());
    EXPECT_EQ(form.Memo1()->font().pixelSize(), 12);
    EXPECT_EQ(form.Memo1()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

} // namespace
} // namespace zw
