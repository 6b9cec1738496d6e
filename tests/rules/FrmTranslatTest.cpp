#include "rules/FrmTranslat.h"

#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/SafeFile.h"
#include "rules/Parser.h"
#include "support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace zw;
namespace fs = std::filesystem;

namespace {

// Scripted dialogs that also keep one log of messages and errors in the
// order they were shown.
class TRecordingDialogs : public TScriptedDialogs {
public:
    void ShowMessage(const QString& text) override
    {
        TScriptedDialogs::ShowMessage(text);
        Log << "message: " + text;
    }
    void ShowError(const QString& text) override
    {
        TScriptedDialogs::ShowError(text);
        Log << "error: " + text;
    }
    QStringList Log;
};

std::string ThreeRuleFile(const char* second)
{
    return std::string("3\r\n\r\n") + second + "\r\n\r\nFalse\r\nTrue\r\nFalse\r\n";
}

// Every test runs with its own program folder and scripted dialogs.
class FormTranslate : public ::testing::Test {
protected:
    FormTranslate() : FScope(Dialogs)
    {
        char pattern[] = "/tmp/zw_rules_XXXXXX";
        Folder = std::string(::mkdtemp(pattern)) + "/";
        FSavedPath = ProgramPath();
        SetProgramPath(Folder);
        Form = std::make_unique<TFormTranslate>();
    }
    ~FormTranslate() override
    {
        Form.reset();
        SetProgramPath(FSavedPath);
        fs::remove_all(Folder);
    }

    template <typename T>
    T* Control(const char* name) const
    {
        T* control = Form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    void Click(const char* name) { Control<QPushButton>(name)->click(); }
    QTableWidget* Grid() const { return Control<QTableWidget>("StringGridRules"); }
    // The grid's cell text by grid row (1 = entry 0) and column.
    QString Cell(int row, int column) const
    {
        const QTableWidgetItem* item = Grid()->item(row - 1, column);
        return item ? item->text() : QString();
    }
    void SetRuleText(const char* text) { Control<QComboBox>("ComboBoxRule")->setEditText(QString::fromLatin1(text)); }
    QString Caption() const { return Form->windowTitle(); }
    QString Q(const std::string& text) const { return QString::fromStdString(text); }

    std::string Folder;
    TRecordingDialogs Dialogs;
    std::unique_ptr<TFormTranslate> Form;

private:
    TScopedDialogs FScope;
    std::string FSavedPath;
};

} // namespace

TEST_F(FormTranslate, StartsWithAnEmptyTableOf120RulesAndTheDefaultControls)
{
    EXPECT_EQ(Caption(), "Translation rules  [] ");
    EXPECT_EQ(Form->Substitution().Count(), 120);
    EXPECT_FALSE(Form->Modified());
    EXPECT_FALSE(Form->FileNameAssigned());
    EXPECT_EQ(Form->GridRowCount(), 121);
    ASSERT_EQ(Grid()->columnCount(), 4);
    EXPECT_EQ(Grid()->horizontalHeaderItem(0)->text(), "Gene #");
    EXPECT_EQ(Grid()->horizontalHeaderItem(1)->text(), "Active");
    EXPECT_EQ(Grid()->horizontalHeaderItem(2)->text(), "Rule");
    EXPECT_EQ(Grid()->horizontalHeaderItem(3)->text(), "Name");
    EXPECT_EQ(Cell(1, 0), "1");
    EXPECT_EQ(Cell(120, 0), "120");
    EXPECT_EQ(Cell(120, 1), "");
    EXPECT_EQ(Control<QLineEdit>("EditMidiCh")->text(), "0");
    EXPECT_EQ(Control<QLineEdit>("EditGeneNr")->text(), "1");
    EXPECT_EQ(Control<QLineEdit>("EditGeneVal")->text(), "2");
    EXPECT_TRUE(Control<QCheckBox>("CheckBoxDebug")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>("CheckBoxActive")->isChecked());
    EXPECT_EQ(Control<QComboBox>("ComboBoxRule")->currentText(), "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)");
    EXPECT_EQ(Control<QComboBox>("ComboBoxRule")->count(), 0);
    for (const char* name : {"SpeedButtonClose", "SpeedButtonSave", "SpeedButtonLoad", "SpeedButtonSyntaxCheck",
                             "SpeedButtonSyntaxHelp", "SpeedButtonUseOnSelection"})
        Control<QPushButton>(name);
    EXPECT_EQ(Grid()->editTriggers(), QAbstractItemView::NoEditTriggers);

    // A name is assigned only when it changes; the caption follows.
    Form->SetFileName("");
    EXPECT_FALSE(Form->FileNameAssigned());
    Form->SetFileName("/r/a.sub");
    EXPECT_TRUE(Form->FileNameAssigned());
    Form->SetModified(true);
    EXPECT_EQ(Caption(), "Translation rules  [/r/a.sub] *");
}

TEST_F(FormTranslate, LoadingFallsBackToDefaultSubAndWithoutItCountsAsModified)
{
    Form->SetFileName(Folder + "missing.sub");
    Form->LoadRules();
    EXPECT_EQ(Form->FileName(), Folder + "default.sub");
    EXPECT_TRUE(Form->Modified());
    EXPECT_EQ(Caption(), Q("Translation rules  [" + Folder + "default.sub] *"));

    // Closing now asks to save the empty rules.
    Form->show();
    EXPECT_FALSE(Form->close());
    ASSERT_EQ(Dialogs.Questions.size(), 1);
    EXPECT_EQ(Dialogs.Questions[0], Q("Translations [" + Folder + "default.sub] changed - save 'm ?"));

    WriteFileAtomically(Folder + "default.sub", ThreeRuleFile("8(%3)"));
    Form->SetFileName(Folder + "gone.sub");
    Form->LoadRules();
    EXPECT_EQ(Form->FileName(), Folder + "default.sub");
    EXPECT_FALSE(Form->Modified());
    EXPECT_EQ(Form->Substitution().Count(), 3);
    EXPECT_EQ(Form->GridRowCount(), 4);
    EXPECT_EQ(Cell(2, 1), "X");
    EXPECT_EQ(Cell(2, 2), "8(%3)");
    EXPECT_EQ(Cell(3, 1), "");
    EXPECT_EQ(Caption(), Q("Translation rules  [" + Folder + "default.sub] "));
}

TEST_F(FormTranslate, AnUnreadableFileIsRaisedByNameAndThisRunUsesDefaultSubUnderTheSameName)
{
    WriteFileAtomically(Folder + "default.sub", ThreeRuleFile("8(3)"));
    fs::create_directory(Folder + "folder.sub");
    ASSERT_EQ(::mkfifo((Folder + "pipe.sub").c_str(), 0600), 0);
    for (const std::string name : {"folder.sub", "pipe.sub"}) {
        Form->SetFileName(Folder + name);
        try {
            Form->LoadRules();
            ADD_FAILURE() << name << " was read";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.FileName(), Folder + name);
        }
        EXPECT_EQ(Form->FileName(), Folder + name);
        EXPECT_EQ(Cell(2, 2), "8(3)");
    }

    // A file read as far as it goes: its faults in one box, by file and line.
    WriteFileAtomically(Folder + "short.sub", "120\r\n8(1)\r\n");
    Form->SetFileName(Folder + "short.sub");
    Form->LoadRules();
    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Dialogs.Errors[0], Q("The file \"" + Folder + "short.sub\" is not what it claims:\n"
                                   "line 3: the file ends; its 120 entries need 241 lines, it holds 2"));
    EXPECT_EQ(Cell(1, 2), "8(1)");
}

TEST_F(FormTranslate, TheCloseQueryKeepsEditsUnlessTheUserDropsThem)
{
    const std::string file = Folder + "rules.sub";
    WriteFileAtomically(file, ThreeRuleFile("8(1)"));
    Form->SetFileName(file);
    Form->LoadRules();
    Form->show();

    // Unmodified: closes without a question.
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(Dialogs.Questions.isEmpty());

    // Cancel: stays open and still modified, so the next close asks again.
    Form->show();
    Form->Substitution().SetRule(0, "8(2)");
    Form->SetModified(true);
    Dialogs.Answers = {TQueryAnswer::Cancel, TQueryAnswer::No};
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Form->Modified());
    // No: closes, the edits stay in the table and stay modified; nothing saved.
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(Form->isVisible());
    EXPECT_TRUE(Form->Modified());
    EXPECT_EQ(Dialogs.Questions.size(), 2);
    EXPECT_EQ(ReadWholeFile(file), ThreeRuleFile("8(1)"));

    // Yes: saves to the file and closes.
    Form->show();
    Dialogs.Answers = {TQueryAnswer::Yes};
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(Form->Modified());
    EXPECT_EQ(ReadWholeFile(file).substr(0, 10), "3\r\n8(2)\r\n8");

    // Yes with the file gone and the save dialog cancelled: stays open.
    Form->show();
    fs::remove(file);
    Form->SetModified(true);
    Dialogs.Answers = {TQueryAnswer::Yes};
    EXPECT_FALSE(Form->CloseQuery());
    EXPECT_TRUE(Form->Modified());
    EXPECT_EQ(Dialogs.FileDialogs.size(), 1u);

    // Yes with a save that fails: the error is shown and nothing is dropped.
    Dialogs.Answers = {TQueryAnswer::Yes};
    Dialogs.FileNames = {Q(Folder + "no/such/folder/x.sub")};
    EXPECT_FALSE(Form->CloseQuery());
    EXPECT_TRUE(Form->Modified());
    EXPECT_EQ(Dialogs.Errors.size(), 1);
}

TEST_F(FormTranslate, UseOnSelectionChangesOnlyTheSelectedColumnsAndRows)
{
    auto* active = Control<QCheckBox>("CheckBoxActive");
    Form->Substitution().SetActive(3, true);

    // Rows 3-5, "Rule" column only: texts of entries 2-4, flags untouched.
    SetRuleText("8(%2)");
    active->setChecked(false);
    Form->SetSelection({2, 3, 2, 5});
    Click("SpeedButtonUseOnSelection");
    for (int entry = 0; entry < 120; ++entry) {
        const bool inside = entry >= 2 && entry <= 4;
        EXPECT_EQ(Form->Substitution().Rule(entry), inside ? "8(%2)" : "") << entry;
        EXPECT_EQ(Form->Substitution().Active(entry), entry == 3) << entry;
    }
    EXPECT_EQ(Cell(4, 2), "8(%2)");
    EXPECT_EQ(Cell(4, 1), "X");
    EXPECT_TRUE(Form->Modified());
    EXPECT_TRUE(Caption().endsWith("] *"));

    // "Active" column only, rows 1-2: flags set, texts untouched.
    SetRuleText("ignored");
    active->setChecked(true);
    Form->SetSelection({1, 1, 1, 2});
    Click("SpeedButtonUseOnSelection");
    EXPECT_TRUE(Form->Substitution().Active(0));
    EXPECT_TRUE(Form->Substitution().Active(1));
    EXPECT_EQ(Form->Substitution().Rule(1), "");
    EXPECT_EQ(Cell(1, 1), "X");

    // Both columns of the last row, then a selection that touches only the
    // gene numbers: that one changes no entry, yet counts as a change.
    SetRuleText("1(1)");
    Form->SetSelection({1, 120, 2, 120});
    EXPECT_EQ(Form->Selection().Bottom, 120);
    Click("SpeedButtonUseOnSelection");
    EXPECT_TRUE(Form->Substitution().Active(119));
    EXPECT_EQ(Form->Substitution().Rule(119), "1(1)");
    EXPECT_EQ(Cell(120, 2), "1(1)");

    Form->SetModified(false);
    Form->SetSelection({0, 7, 0, 9});
    Click("SpeedButtonUseOnSelection");
    EXPECT_FALSE(Form->Substitution().Active(7));
    EXPECT_EQ(Form->Substitution().Rule(7), "");
    EXPECT_TRUE(Form->Modified());
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

TEST_F(FormTranslate, SavingAVanishedFileAsksForANameAndCancelChangesNothing)
{
    Form->SetFileName(Folder + "vanished.sub");
    Form->SetModified(true);

    Click("SpeedButtonSave"); // the dialog is cancelled
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    const TFileDialogOptions& options = Dialogs.FileDialogs[0];
    EXPECT_EQ(options.Title, "Save substitutions as");
    EXPECT_EQ(options.DefaultExtension, "sub");
    EXPECT_EQ(options.Filter, "substitution files (*.sub)|*.sub|all files (*.*)|*.*");
    EXPECT_EQ(options.InitialDir, Q(Folder));
    EXPECT_TRUE(Form->Modified());
    EXPECT_EQ(Form->FileName(), Folder + "vanished.sub");
    EXPECT_FALSE(fs::exists(Folder + "vanished.sub"));

    Form->Substitution().SetRule(5, "8(5)");
    Dialogs.FileNames = {Q(Folder + "chosen")};
    Click("SpeedButtonSave");
    EXPECT_EQ(Form->FileName(), Folder + "chosen.sub");
    EXPECT_FALSE(Form->Modified());
    EXPECT_EQ(Caption(), Q("Translation rules  [" + Folder + "chosen.sub] "));
    TSubstitution saved;
    saved.LoadFromFile(Folder + "chosen.sub");
    EXPECT_EQ(saved.Count(), 120);
    EXPECT_EQ(saved.Rule(5), "8(5)");

    // Now the file exists: "&Save" writes it without a dialog.
    Form->Substitution().SetRule(6, "8(6)");
    Form->SetModified(true);
    Click("SpeedButtonSave");
    EXPECT_EQ(Dialogs.FileDialogs.size(), 2u);
    saved.LoadFromFile(Folder + "chosen.sub");
    EXPECT_EQ(saved.Rule(6), "8(6)");
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

TEST_F(FormTranslate, LoadingAsksBeforeDroppingEditsAndAFailedLoadKeepsTheTable)
{
    const std::string file = Folder + "other.sub";
    WriteFileAtomically(file, ThreeRuleFile("8(7)"));
    Form->Substitution().SetRule(0, "edited");
    Form->SetModified(true);

    // Cancel in the question: no dialog, nothing loaded.
    Dialogs.Answers = {TQueryAnswer::Cancel};
    Click("SpeedButtonLoad");
    EXPECT_TRUE(Dialogs.FileDialogs.empty());
    EXPECT_EQ(Form->Substitution().Rule(0), "edited");

    Dialogs.Answers = {TQueryAnswer::No};
    Dialogs.FileNames = {Q(file)};
    Click("SpeedButtonLoad");
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    EXPECT_EQ(Dialogs.FileDialogs[0].Title, "Load substitutions from");
    EXPECT_EQ(Dialogs.FileDialogs[0].InitialDir, Q(Folder));
    EXPECT_EQ(Form->FileName(), file);
    EXPECT_EQ(Form->Substitution().Count(), 3);
    EXPECT_EQ(Form->Substitution().Rule(1), "8(7)");
    EXPECT_FALSE(Form->Modified());

    // A damaged file: the error is shown, the table stays, the name stays assigned.
    const std::string damaged = Folder + "damaged.sub";
    WriteFileAtomically(damaged, "99999999\r\n");
    Dialogs.FileNames = {Q(damaged)};
    Click("SpeedButtonLoad");
    EXPECT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Form->FileName(), damaged);
    EXPECT_EQ(Form->Substitution().Count(), 3);
    EXPECT_EQ(Form->Substitution().Rule(1), "8(7)");
    EXPECT_EQ(Cell(2, 2), "8(7)");

    // The refused file is not replaced unasked: Save asks for a name, and
    // the same name typed without its extension asks before replacing.
    Dialogs.FileNames = {Q(Folder + "damaged")};
    Dialogs.Answers = {TQueryAnswer::No};
    Click("SpeedButtonSave");
    EXPECT_EQ(Dialogs.FileDialogs.size(), 4u) << "No shows the dialog again";
    EXPECT_EQ(Dialogs.Questions.last(), Q(damaged + " already exists.\nDo you want to replace it?"));
    EXPECT_EQ(ReadWholeFile(damaged), "99999999\r\n");
}

TEST_F(FormTranslate, SyntaxCheckShowsTheVerdictThenTheReason)
{
    const std::string trace = Folder + "debug.txt";
    Form->Substitution().SetRule(0, "kept");

    // The default rule with the initial fields.
    Click("SpeedButtonSyntaxCheck");
    EXPECT_EQ(Dialogs.Log, QStringList{"message: Syntax Ok. output( 0, 1, 2) = "
                                       "'10110000, 00000001, 00000010' [$B0, $01, $02]"});
    EXPECT_TRUE(fs::exists(trace));
    EXPECT_THROW(GetVariable(0), EVar); // cleared afterwards

    // A syntax error: the verdict first, then the parser's own message, and
    // the trace ends with the error.
    Dialogs.Log.clear();
    SetRuleText("4(1 2)");
    Click("SpeedButtonSyntaxCheck");
    ASSERT_EQ(Dialogs.Log.size(), 2);
    EXPECT_EQ(Dialogs.Log[0], "message: Syntax error.");
    EXPECT_TRUE(Dialogs.Log[1].startsWith("error: Syntax error : ")) << Dialogs.Log[1].toStdString();
    const std::string traced = ReadWholeFile(trace);
    const std::string reason = Dialogs.Log[1].mid(7).toStdString();
    EXPECT_NE(traced.find(reason), std::string::npos) << traced;

    // Text no rule matches: the verdict alone. Without "Debug" no trace is written.
    Dialogs.Log.clear();
    fs::remove(trace);
    Control<QCheckBox>("CheckBoxDebug")->setChecked(false);
    SetRuleText("8(3) #");
    Click("SpeedButtonSyntaxCheck");
    EXPECT_EQ(Dialogs.Log, QStringList{"message: Syntax error."});
    EXPECT_FALSE(fs::exists(trace));

    // A variable out of range: refused before any evaluation, no verdict.
    Dialogs.Log.clear();
    SetRuleText("8(%3)");
    Control<QLineEdit>("EditGeneVal")->setText("300");
    Click("SpeedButtonSyntaxCheck");
    EXPECT_EQ(Dialogs.Log, QStringList{"error: Range check error"});
    Control<QLineEdit>("EditGeneVal")->setText("123456789012345678901234567890");
    Click("SpeedButtonSyntaxCheck");
    EXPECT_EQ(Dialogs.Log.last(), "error: Range check error");
    EXPECT_THROW(GetVariable(0), EVar);

    // Fields that are no number count as 0.
    Dialogs.Log.clear();
    Control<QLineEdit>("EditGeneVal")->setText("abc");
    Control<QLineEdit>("EditMidiCh")->setText(" 5 ");
    Click("SpeedButtonSyntaxCheck");
    EXPECT_EQ(Dialogs.Log, QStringList{"message: Syntax Ok. output( 5, 1, 0) = '00000000' [$00]"});

    EXPECT_EQ(Form->Substitution().Rule(0), "kept");
    EXPECT_FALSE(Form->Modified());
}

TEST_F(FormTranslate, AltXAsksTheProgramToCloseInsteadOfEndingIt)
{
    int requests = 0;
    Form->OnExitRequested = [&] { ++requests; };
    Form->SetModified(true);
    Form->show();

    QTest::keyClick(Control<QComboBox>("ComboBoxRule"), Qt::Key_X, Qt::AltModifier);
    QTest::keyClick(Grid(), Qt::Key_X, Qt::AltModifier);
    QTest::keyClick(Form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(requests, 3);
    QTest::keyClick(Grid(), Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(Grid(), Qt::Key_X, Qt::AltModifier | Qt::ShiftModifier);
    QTest::keyClick(Grid(), Qt::Key_X);
    EXPECT_EQ(requests, 3);
    // The window itself neither asked nor closed: that is the main window's part.
    EXPECT_TRUE(Dialogs.Questions.isEmpty());
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Form->Modified());
}

TEST_F(FormTranslate, SyntaxHelpShowsTheHelpWindow)
{
    Click("SpeedButtonSyntaxHelp"); // none set yet: nothing happens
    QWidget help;
    Form->SetSyntaxHelpWindow(&help);
    EXPECT_FALSE(help.isVisible());
    Click("SpeedButtonSyntaxHelp");
    EXPECT_TRUE(help.isVisible());
}

TEST_F(FormTranslate, NamesAfterTheFlagsLoadShowEditAndSaveAndAFileWithoutNamesStaysAsItWas)
{
    const std::string file = Folder + "named.sub";
    const std::string named = "3\r\n\r\n8(%3)\r\n\r\nFalse Volume [locked]\r\n true\tFilter  cutoff \r\nFalse\r\n";
    WriteFileAtomically(file, named);
    Form->SetFileName(file);
    Form->LoadRules();
    EXPECT_EQ(Cell(1, 3), "Volume [locked]");
    EXPECT_EQ(Cell(2, 3), "Filter  cutoff");
    EXPECT_EQ(Cell(2, 1), "X") << "the flag is still the first word";
    EXPECT_TRUE(Form->Substitution().DefaultLocked(0));
    EXPECT_EQ(Form->Substitution().Name(0), "Volume");

    Dialogs.Inputs = {{true, "Level"}, {false, "never"}};
    Grid()->cellDoubleClicked(2, 3);
    Form->EditName(1); // cancelled
    EXPECT_EQ(Cell(3, 3), "Level");
    EXPECT_TRUE(Form->Modified());
    ASSERT_TRUE(Form->SaveRules());
    EXPECT_EQ(ReadWholeFile(file),
              "3\r\n\r\n8(%3)\r\n\r\nFalse Volume [locked]\r\nTrue Filter  cutoff\r\nFalse Level\r\n");

    const std::string plain = ThreeRuleFile("8(%3)");
    WriteFileAtomically(file, plain);
    Form->LoadRules();
    EXPECT_EQ(Cell(1, 3), "");
    EXPECT_FALSE(Form->Substitution().DefaultLocked(0));
    ASSERT_TRUE(Form->SaveRules());
    EXPECT_EQ(ReadWholeFile(file), plain);
}
