// The gene bank as the main window runs it: naming, saving, loading, clearing.
#include "MainWindowFixture.h"

#include "worms/GeneBox.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>

namespace zw::test {
namespace {

class GeneBankWindowTest : public MainWindowTest {
protected:
    TGeneBox* Bank() const { return Find<TGeneBox>("GeneBox1"); }

    // Banks a worm as a drop on the bank does, answering the name box.
    void Bank(const TWorm* worm, bool accepted, const QString& answer)
    {
        Dialogs.Inputs.push_back({accepted, answer});
        Bank()->AddGene(QString(), worm);
    }

    QString FilePath(const char* name) const { return Folder.filePath(name); }
};

TEST_F(GeneBankWindowTest, NamesAreAskedWithTheEntryCountAsDefault)
{
    Bank(Panel(0)->Worms(3), true, "alpha");
    Bank(Panel(1)->Worms(4), false, "ignored");
    ASSERT_EQ(Bank()->Count(), 2);
    EXPECT_EQ(Dialogs.Questions,
              (QStringList{"Supply a name for this gene: Name [Gene0]", "Supply a name for this gene: Name [Gene1]"}));
    EXPECT_EQ(Bank()->Names(0), "alpha");
    EXPECT_EQ(Bank()->Names(1), "Gene1") << "cancelling keeps the default";
    EXPECT_EQ(Genome(Bank()->Genes(0)), Genome(Panel(0)->Worms(3)));
    EXPECT_EQ(Genome(Bank()->Genes(1)), Genome(Panel(1)->Worms(4)));

    Bank(Panel(0)->Worms(5), true, "");
    EXPECT_EQ(Bank()->Count(), 2) << "an emptied name banks nothing";
    EXPECT_TRUE(Dialogs.Messages.isEmpty());
}

TEST_F(GeneBankWindowTest, ANameAFileCannotKeepIsMendedAndTheUserTold)
{
    Bank(Panel(0)->Worms(2), true, "my gene");
    ASSERT_EQ(Bank()->Count(), 1);
    EXPECT_EQ(Bank()->Names(0), "my_gene");
    ASSERT_EQ(Dialogs.Messages.size(), 1);
    EXPECT_TRUE(Dialogs.Messages[0].contains("\"my gene\"") && Dialogs.Messages[0].contains("\"my_gene\""))
        << Dialogs.Messages[0].toStdString();

    Bank(Panel(0)->Worms(3), true, "a,b.c:d;e=f\tg");
    EXPECT_EQ(Bank()->Names(1), "a_b_c_d_e_f_g");
    EXPECT_EQ(Dialogs.Messages.size(), 2);

    Dialogs.FileNames = {FilePath("names.gen"), FilePath("names.gen")};
    Form->Exports().SaveGenes();
    Form->Exports().ClearGenes();
    Form->Exports().LoadGenes();
    ASSERT_EQ(Bank()->Count(), 2);
    EXPECT_EQ(Bank()->Names(0), "my_gene");
    EXPECT_EQ(Genome(Bank()->Genes(0)), Genome(Panel(0)->Worms(2)));
    EXPECT_EQ(Bank()->Names(1), "a_b_c_d_e_f_g");
}

TEST_F(GeneBankWindowTest, TheBankRoundTripsThroughItsButtonsAndKeys)
{
    Bank(Panel(0)->Worms(1), true, "first");
    Bank(Panel(2)->Worms(9), true, "second");
    const TGenome first = Genome(Bank()->Genes(0));
    const TGenome second = Genome(Bank()->Genes(1));

    Dialogs.FileNames = {FilePath("bank")}; // the default extension is added
    Click("SpeedButtonSaveGenes");
    ASSERT_TRUE(QFile::exists(FilePath("bank.gen")));
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    const TFileDialogOptions save = Dialogs.FileDialogs[0];
    EXPECT_EQ(save.Title, "Save gene bank as");
    EXPECT_EQ(save.Filter, "gene files (*.gen)|*.gen|all files (*.*)|*.*");
    EXPECT_EQ(save.DefaultExtension, "gen");
    EXPECT_EQ(save.InitialDir, QString::fromStdString(ProgramPath()));

    QTest::keyClick(Form.get(), Qt::Key_F4);
    EXPECT_EQ(Bank()->Count(), 0) << "F4 clears at once, without asking";
    EXPECT_TRUE(Dialogs.Questions.size() == 2);

    Dialogs.FileNames = {FilePath("bank.gen")};
    QTest::keyClick(Form.get(), Qt::Key_F3);
    ASSERT_EQ(Dialogs.FileDialogs.size(), 2u);
    EXPECT_EQ(Dialogs.FileDialogs[1].Title, "Load genes from");
    EXPECT_EQ(Dialogs.FileDialogs[1].Filter, save.Filter);
    ASSERT_EQ(Bank()->Count(), 2);
    EXPECT_EQ(Bank()->Names(0), "first");
    EXPECT_EQ(Bank()->Names(1), "second");
    EXPECT_EQ(Genome(Bank()->Genes(0)), first);
    EXPECT_EQ(Genome(Bank()->Genes(1)), second);

    Dialogs.FileNames = {FilePath("bank.gen")};
    Click("SpeedButtonLoadGenes");
    EXPECT_EQ(Bank()->Count(), 4) << "loading appends";
    Click("SpeedButtonClearGenes");
    EXPECT_EQ(Bank()->Count(), 0);
    Dialogs.FileNames = {FilePath("bank.gen")};
    Find<QAction>("MenuLoadGenes")->trigger();
    EXPECT_EQ(Bank()->Count(), 2);
    EXPECT_TRUE(Dialogs.Errors.isEmpty());

    // "bank" typed again names the existing bank.gen: asked first; No keeps it.
    const QString bank = FilePath("bank.gen");
    Click("SpeedButtonClearGenes");
    for (TQueryAnswer answer : {TQueryAnswer::No, TQueryAnswer::Yes}) {
        Dialogs.FileNames = {FilePath("bank")};
        Dialogs.Answers = {answer};
        Click("SpeedButtonSaveGenes");
        EXPECT_EQ(Dialogs.Questions.last(), bank + " already exists.\nDo you want to replace it?");
        EXPECT_EQ(QFileInfo(bank).size() == 3, answer == TQueryAnswer::Yes) << "an empty bank is \"0\\r\\n\"";
    }
}

TEST_F(GeneBankWindowTest, CancelledDialogsChangeNothingAndFailuresAreShown)
{
    Bank(Panel(0)->Worms(1), true, "kept");
    QTest::keyClick(Form.get(), Qt::Key_F2); // cancelled: no file name
    QTest::keyClick(Form.get(), Qt::Key_F3);
    EXPECT_EQ(Bank()->Count(), 1);
    EXPECT_TRUE(QDir(Folder.path()).entryList({"*.gen"}, QDir::Files).isEmpty()); // no bank saved

    Dialogs.FileNames = {FilePath("missing.gen")};
    Click("SpeedButtonLoadGenes");
    EXPECT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Bank()->Count(), 1);

    Dialogs.FileNames = {FilePath("no-such-folder/bank.gen")};
    Click("SpeedButtonSaveGenes");
    EXPECT_EQ(Dialogs.Errors.size(), 2);
    EXPECT_EQ(Bank()->Count(), 1);
}

TEST_F(GeneBankWindowTest, ABankedGenomeDraggedOntoAWormGivesItThatGenome)
{
    Bank(Panel(0)->Worms(6), true, "donor");
    const TGenome donor = Genome(Panel(0)->Worms(6));
    Panel(0)->Worms(6)->Randomize(); // the bank keeps its own copy

    // Press on the entry, as a drag from the bank starts.
    const QRect entry = Bank()->visualRect(Bank()->model()->index(0, 0));
    QTest::mousePress(Bank()->viewport(), Qt::LeftButton, {}, entry.center());
    QTest::mouseRelease(Bank()->viewport(), Qt::LeftButton, {}, entry.center());
    const std::unique_ptr<QMimeData> drag = Bank()->CreateDragData();
    ASSERT_NE(drag, nullptr);

    Click("SpeedButtonChActiveB");
    Form->Reports.clear();
    TWorm* target = Panel(1)->Worms(10);
    ASSERT_TRUE(target->AcceptsDrop(drag.get(), Bank()));
    target->Drop(drag.get(), Bank());
    EXPECT_EQ(Genome(target), donor);
    EXPECT_EQ(Panel(1)->Audible(), 10);
    EXPECT_EQ(Genome(Bank()->Genes(0)), donor);
    ASSERT_FALSE(Form->Reports.empty());
    EXPECT_EQ(Form->Reports.back().Channel, 1);
    EXPECT_EQ(Form->Reports.back().Genes, donor) << "the new genome is what the channel plays";
}

} // namespace
} // namespace zw::test
