// The gene bank: entries, naming, drags in and out, and the gene file.
#include "common/Dialogs.h"
#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/SafeFile.h"
#include "worms/DragFormats.h"
#include "worms/GeneBox.h"
#include "worms/GeneFile.h"
#include "worms/Worm.h"

#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/resource.h>

#include <string>
#include <vector>

namespace zw {
namespace {

TGene MakeGene(std::vector<uint8_t> values)
{
    return TGene(values.data(), static_cast<int32_t>(values.size()));
}

std::vector<uint8_t> Values(const TGene& gene)
{
    return std::vector<uint8_t>(gene.Data(), gene.Data() + gene.Size());
}

// A worm carrying exactly `values`.
void SetWormGenes(TWorm& worm, std::vector<uint8_t> values)
{
    const TGene gene = MakeGene(std::move(values));
    worm.AssignGenes(&gene);
}

// Banks `values` under `name` the way a drop does, through a worm.
void Bank(TGeneBox& box, const QString& name, std::vector<uint8_t> values)
{
    TWorm worm;
    SetWormGenes(worm, std::move(values));
    box.AddGene(name, &worm);
}

class GeneBoxFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }

    QString Path(const QString& name) const { return FDir.filePath(name); }
    std::string Read(const QString& name) const { return ReadWholeFile(Path(name).toStdString()); }
    void Write(const QString& name, const std::string& text) const
    {
        WriteFileAtomically(Path(name).toStdString(), text);
    }
    QStringList FolderContents() const { return QDir(FDir.path()).entryList(QDir::Files); }

    QTemporaryDir FDir;
};

// ---- Writing and reading back -------------------------------------------

TEST_F(GeneBoxFiles, WritesTheDocumentedTextAndReadsItBackAfterExistingEntries)
{
    TGeneBox box;
    Bank(box, "Gene0", {12, 200, 7});
    Bank(box, "Gene1", {});
    box.SaveToFile(Path("bank.gen"));
    EXPECT_EQ(Read("bank.gen"), "2\r\nGene0 = 3, 12, 200, 7;\r\nGene1 = 0;\r\n");

    TGeneBox other;
    Bank(other, "Kept", {1});
    other.LoadFromFile(Path("bank.gen"));
    ASSERT_EQ(other.Count(), 3);
    EXPECT_EQ(other.Names(0), "Kept");
    EXPECT_EQ(other.Names(1), "Gene0");
    EXPECT_EQ(Values(other.Genes(1)), (std::vector<uint8_t>{12, 200, 7}));
    EXPECT_EQ(other.Names(2), "Gene1");
    EXPECT_EQ(other.Genes(2).Size(), 0);
    EXPECT_EQ(other.model()->index(2, 0).data().toString(), "Gene1"); // the list shows the names in order
}

TEST_F(GeneBoxFiles, EveryByteValueAndLongGenomesSurviveARoundTrip)
{
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    TGeneBox box;
    Bank(box, "All", all);
    Bank(box, "Same", all); // names need not be unique
    Bank(box, "Same", {0});
    box.SaveToFile(Path("a.gen"));

    TGeneBox loaded;
    loaded.LoadFromFile(Path("a.gen"));
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(Values(loaded.Genes(0)), all);
    EXPECT_EQ(Values(loaded.Genes(1)), all);
    EXPECT_EQ(loaded.Names(2), "Same");
    EXPECT_EQ(Values(loaded.Genes(2)), std::vector<uint8_t>{0});
}

TEST_F(GeneBoxFiles, EmptyBankWritesASingleZeroAndLoadingItAddsNothing)
{
    TGeneBox box;
    box.SaveToFile(Path("empty.gen"));
    EXPECT_EQ(Read("empty.gen"), "0\r\n");
    box.LoadFromFile(Path("empty.gen"));
    EXPECT_EQ(box.Count(), 0);
}

TEST_F(GeneBoxFiles, SavingReplacesTheWholeFile)
{
    Write("bank.gen", "3\r\nA = 1, 1;\r\nB = 1, 2;\r\nC = 1, 3;\r\nand a long tail that must go\r\n");
    TGeneBox box;
    Bank(box, "Z", {9});
    box.SaveToFile(Path("bank.gen"));
    EXPECT_EQ(Read("bank.gen"), "1\r\nZ = 1, 9;\r\n");
    EXPECT_EQ(FolderContents(), QStringList{"bank.gen"});
}

TEST_F(GeneBoxFiles, NamesAreSingleByteText)
{
    TGeneBox box;
    Bank(box, QString::fromUtf8("M\u00fcller"), {1});
    box.SaveToFile(Path("latin.gen"));
    EXPECT_EQ(Read("latin.gen"), "1\r\nM\xfcller = 1, 1;\r\n");
    TGeneBox loaded;
    loaded.LoadFromFile(Path("latin.gen"));
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.Names(0), QString::fromUtf8("M\u00fcller"));
}

TEST_F(GeneBoxFiles, ANameWithALineBreakCannotGarbleTheEntriesAfterIt)
{
    TGeneBox box;
    Bank(box, "two\nlines", {1});
    Bank(box, "After", {2});
    box.SaveToFile(Path("b.gen"));
    TGeneBox loaded;
    loaded.LoadFromFile(Path("b.gen"));
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.Names(0), "two_lines");
    EXPECT_EQ(loaded.Names(1), "After");
    EXPECT_EQ(Values(loaded.Genes(1)), std::vector<uint8_t>{2});
}

// ---- The tolerant reader -------------------------------------------------

// Expects `action` to raise exactly `type` with `message`.
template <typename E, typename F>
void ExpectFailure(F&& action, const std::string& message)
{
    try {
        action();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "wrong exception: " << e.what();
    }
}

TEST_F(GeneBoxFiles, ANameWithASeparatorComesBackCutAtIt)
{
    TGeneBox box;
    Bank(box, "my gene", {1, 2, 3});
    box.SaveToFile(Path("sep.gen"));
    EXPECT_EQ(Read("sep.gen"), "1\r\nmy gene = 3, 1, 2, 3;\r\n");
    TGeneBox loaded;
    // Read as the format reads it, and told.
    ExpectFailure<EInvalidFile>([&] { loaded.LoadFromFile(Path("sep.gen")); },
                                "The file \"" + Path("sep.gen").toStdString() + "\" is not what it claims:\nline 2: the "
                                "name is cut at \" \", which the format splits names at; it reads as \"my\" with 0 genes");
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.Names(0), "my");
    EXPECT_EQ(loaded.Genes(0).Size(), 0); // "gene" is no number
}

TEST_F(GeneBoxFiles, ShortLinesAreFilledWithZeroAndTailsIgnored)
{
    Write("short.gen", "3\r\nGene7 = 4, 1, 2;\r\nTail = 2, 5, 6, 7, 8; more\r\nBare\r\nnot an entry\r\n");
    TGeneBox box;
    box.LoadFromFile(Path("short.gen"));
    ASSERT_EQ(box.Count(), 3);
    EXPECT_EQ(Values(box.Genes(0)), (std::vector<uint8_t>{1, 2, 0, 0}));
    EXPECT_EQ(Values(box.Genes(1)), (std::vector<uint8_t>{5, 6}));
    EXPECT_EQ(box.Names(2), "Bare");
    EXPECT_EQ(box.Genes(2).Size(), 0);
}

TEST_F(GeneBoxFiles, LineEndsOfAnyKindAndOddSpacingAreRead)
{
    Write("lf.gen", "2\nA=2,7,8;\n\tB = 1 .9\r");
    TGeneBox box;
    box.LoadFromFile(Path("lf.gen"));
    ASSERT_EQ(box.Count(), 2);
    EXPECT_EQ(Values(box.Genes(0)), (std::vector<uint8_t>{7, 8}));
    EXPECT_EQ(box.Names(1), "B");
    EXPECT_EQ(Values(box.Genes(1)), std::vector<uint8_t>{9});
}

TEST_F(GeneBoxFiles, AFirstLineThatIsNoPositiveNumberAddsNothingAndOnlyANumberOrNothingIsSilent)
{
    TGeneBox box;
    for (const char* text : {"", "0\r\nA = 1, 1;\r\n", "\r\n1\r\nA = 1, 1;\r\n"}) {
        Write("head.gen", text);
        EXPECT_NO_THROW(box.LoadFromFile(Path("head.gen"))) << text;
    }
    Write("head.gen", "-3\r\nA = 1, 1;\r\n");
    const std::string claims = "The file \"" + Path("head.gen").toStdString() + "\" is not what it claims:\nline 1: ";
    ExpectFailure<EInvalidFile>([&] { box.LoadFromFile(Path("head.gen")); },
                                claims + "the entry count -3 is below 0; nothing is read");
    Write("head.gen", "two\r\nA = 1, 1;\r\n");
    ExpectFailure<EInvalidFile>([&] { box.LoadFromFile(Path("head.gen")); },
                                claims + "the entry count \"two\" is no number; nothing is read");
    EXPECT_EQ(box.Count(), 0);
}

TEST_F(GeneBoxFiles, AMissingEntryLineFailsByFileAndLineAfterTheEntriesBeforeIt)
{
    Write("two.gen", "2\r\nGene0 = 1, 4;\r\n");
    TGeneBox box;
    ExpectFailure<EInvalidFile>([&] { box.LoadFromFile(Path("two.gen")); },
                                "Not a Zwirbel ? (\"" + Path("two.gen").toStdString() +
                                    "\" line 3: the file ends; it declares 2 entries)");
    ASSERT_EQ(box.Count(), 1);
    EXPECT_EQ(Values(box.Genes(0)), std::vector<uint8_t>{4});

    Write("blank.gen", "2\r\n\r\nGene0 = 1, 4;\r\n"); // a line without a name
    ExpectFailure<EInvalidFile>([&] { box.LoadFromFile(Path("blank.gen")); },
                                "Not a Zwirbel ? (\"" + Path("blank.gen").toStdString() + "\" line 2: no name)");
    EXPECT_EQ(box.Count(), 1);

    // Control characters in a name are read as "_" and said; a long name
    // shows as its start and is kept whole.
    Write("names.gen", std::string("2\r\nA\0\x1b = 0;\r\n", 13) + std::string(5000, 'L') + " = 0;\r\n");
    EXPECT_THROW(box.LoadFromFile(Path("names.gen")), EInvalidFile);
    ASSERT_EQ(box.Count(), 3);
    EXPECT_EQ(box.Names(1), "A__");
    EXPECT_EQ(box.Names(2), QString(5000, 'L'));
    EXPECT_LT(box.model()->index(2, 0).data().toString().size(), 300);
    // A long name of characters beyond ASCII shows its start whole.
    Write("wide.gen", "1\r\n" + std::string(5000, '\xe9') + " = 0;\r\n");
    box.LoadFromFile(Path("wide.gen"));
    EXPECT_EQ(box.Names(3), QString(5000, QChar(0xe9)));
    const QString shown = box.model()->index(3, 0).data().toString();
    EXPECT_TRUE(shown.startsWith(QString(100, QChar(0xe9))) && !shown.contains(QChar::ReplacementCharacter)) << shown.size();
}

TEST_F(GeneBoxFiles, AGeneValueOutsideAByteStopsTheLoadWithoutItsEntry)
{
    TGeneBox box;
    Write("big.gen", "3\r\nA = 1, 255;\r\nB = 2, 1, 256;\r\nC = 0;\r\n");
    ExpectFailure<ERangeError>([&] { box.LoadFromFile(Path("big.gen")); }, "Range check error");
    ASSERT_EQ(box.Count(), 1);
    EXPECT_EQ(Values(box.Genes(0)), std::vector<uint8_t>{255});

    Write("neg.gen", "1\r\nD = 1, -1;\r\n");
    ExpectFailure<ERangeError>([&] { box.LoadFromFile(Path("neg.gen")); }, "Range check error");
    EXPECT_EQ(box.Count(), 1);
}

TEST_F(GeneBoxFiles, NegativeOrAbsurdGeneCountsAreRefusedAndEarlierEntriesStay)
{
    TGeneBox box;
    Write("neg.gen", "2\r\nA = 1, 1;\r\nB = -5, 1, 2;\r\n");
    ExpectFailure<EInvalidFile>([&] { box.LoadFromFile(Path("neg.gen")); },
                                "Invalid gene count -5 in line 3, allowed are 0 to 1000000");
    EXPECT_EQ(box.Count(), 1);

    Write("huge.gen", "1\r\nC = 1000001;\r\n");
    ExpectFailure<EInvalidFile>([&] { box.LoadFromFile(Path("huge.gen")); },
                                "Invalid gene count 1000001 in line 2, allowed are 0 to 1000000");
    Write("huger.gen", "1\r\nC = 99999999999999999999999;\r\n"); // beyond any integer: no number, 0 genes
    box.LoadFromFile(Path("huger.gen"));
    EXPECT_EQ(box.Count(), 2);
    EXPECT_EQ(box.Genes(1).Size(), 0);

    Write("limit.gen", "1\r\nL = 1000000, 3;\r\n");
    box.LoadFromFile(Path("limit.gen"));
    ASSERT_EQ(box.Count(), 3);
    EXPECT_EQ(box.Genes(2).Size(), 1000000);
    EXPECT_EQ(box.Genes(2).Genes(0), 3);
    EXPECT_EQ(box.Genes(2).Genes(999999), 0);
}

TEST_F(GeneBoxFiles, ASmallFileCannotAskForUnboundedMemory)
{
    std::string text = "100\r\n";
    for (int i = 0; i < 100; ++i)
        text += "a = 1000000;\r\n";
    Write("pad.gen", text);
    TGeneBox box;
    ExpectFailure<EInvalidFile>([&] { box.LoadFromFile(Path("pad.gen")); },
                                "Too many genes at line 18, a gene file may hold at most 16000000");
    EXPECT_EQ(box.Count(), 16);
}

TEST_F(GeneBoxFiles, AMissingFileRaisesThePlatformTextAndAddsNothing)
{
    TGeneBox box;
    Bank(box, "A", {1});
    ExpectFailure<EInOutError>([&] { box.LoadFromFile(Path("none.gen")); },
                               "Cannot read \"" + Path("none.gen").toStdString() + "\": No such file or directory");
    EXPECT_EQ(box.Count(), 1);
}

TEST_F(GeneBoxFiles, PipesDevicesHugeFilesAndTooManyEntriesAreRefusedByNameAndAddNothing)
{
    TGeneBox box;
    Bank(box, "A", {1});
    ASSERT_EQ(::mkfifo(Path("pipe.gen").toStdString().c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", Path("zero.gen").toStdString().c_str()), 0);
    Write("huge.gen", "1\r\nA = 1, 1;\r\n");
    std::filesystem::resize_file(Path("huge.gen").toStdString(), kMaxGeneFileSize + 1); // sparse
    Write("many.gen", "65537\r\n" + std::string(65537 * 3, 'a'));
    for (const char* name : {"pipe.gen", "zero.gen", "huge.gen", "many.gen"}) {
        try {
            box.LoadFromFile(Path(name));
            ADD_FAILURE() << name << " was read";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find(Path(name).toStdString()), std::string::npos) << e.Message();
        }
        EXPECT_EQ(box.Count(), 1) << name;
    }
    std::string most = "65536\r\n";
    for (int i = 0; i < 65536; ++i)
        most += "a\r\n";
    Write("most.gen", most);
    box.LoadFromFile(Path("most.gen"));
    EXPECT_EQ(box.Count(), 1 + 65536);
}

TEST_F(GeneBoxFiles, AFailedSaveKeepsThePreviousFileAndLeavesNoLitter)
{
    const std::string previous = "1\r\nOld = 2, 5, 6;\r\n";
    Write("keep.gen", previous);
    TGeneBox box;
    Bank(box, "Big", std::vector<uint8_t>(5000, 200));

    // Let writing stop after 4 KB, as a full disk would (root ignores permissions).
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        box.SaveToFile(Path("keep.gen"));
    } catch (const EInOutError&) {
        failed = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(failed);
    EXPECT_EQ(Read("keep.gen"), previous);
    EXPECT_EQ(FolderContents(), QStringList{"keep.gen"});

    ExpectFailure<EInOutError>([&] { box.SaveToFile(Path("no/such/folder.gen")); },
                               "Cannot write \"" + Path("no/such/folder.gen").toStdString() +
                                   "\": No such file or directory");
}

// ---- Banking and naming --------------------------------------------------

TEST(GeneBox, AddGeneAsksTheHostForAMissingNameAndBanksACopy)
{
    TGeneBox box;
    TWorm worm;
    SetWormGenes(worm, {3, 1, 4});
    int calls = 0;
    box.SetOnGetGeneName([&](TGeneBox* sender, const TGene& gene, QString& name) {
        ++calls;
        EXPECT_EQ(sender, &box);
        EXPECT_EQ(Values(gene), (std::vector<uint8_t>{3, 1, 4}));
        EXPECT_TRUE(name.isEmpty());
        name = QStringLiteral("Gene%1").arg(sender->Count());
    });
    box.AddGene(QString(), &worm);
    box.AddGene("Given", &worm); // a given name needs no asking
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(box.Count(), 2);
    EXPECT_EQ(box.Names(0), "Gene0");
    EXPECT_EQ(box.Names(1), "Given");

    SetWormGenes(worm, {9});
    EXPECT_EQ(Values(box.Genes(0)), (std::vector<uint8_t>{3, 1, 4})); // the entry keeps its copy
}

TEST(GeneBox, NothingIsBankedWithoutAName)
{
    TGeneBox box;
    TWorm worm;
    box.AddGene(QString(), &worm); // no handler
    box.SetOnGetGeneName([](TGeneBox*, const TGene&, QString&) {});
    box.AddGene(QString(), &worm); // handler leaves it empty
    EXPECT_EQ(box.Count(), 0);

    box.AddGene("NoWorm", nullptr);
    ASSERT_EQ(box.Count(), 1);
    EXPECT_EQ(box.Genes(0).Size(), 0);
    EXPECT_THROW(box.Names(1), ERangeError);
    EXPECT_THROW(box.Genes(-1), ERangeError);
}

TEST(GeneBox, ClearEmptiesListAndDragGene)
{
    TGeneBox box;
    Bank(box, "A", {1});
    Bank(box, "B", {2});
    box.show();
    QTest::mousePress(box.viewport(), Qt::LeftButton, {}, box.visualRect(box.model()->index(0, 0)).center());
    QTest::mouseRelease(box.viewport(), Qt::LeftButton, {}, box.visualRect(box.model()->index(0, 0)).center());
    ASSERT_NE(box.DragGene(), nullptr);
    box.Clear();
    EXPECT_EQ(box.Count(), 0);
    EXPECT_EQ(box.model()->rowCount(), 0);
    EXPECT_EQ(box.DragGene(), nullptr);
    EXPECT_FALSE(box.CreateDragData()->hasFormat(kGeneBoxMimeType));
}

TEST(GeneBox, StorableNameSurvivesASaveAndLoad)
{
    EXPECT_EQ(TGeneBox::StorableName("Gene0"), "Gene0");
    EXPECT_EQ(TGeneBox::StorableName("  my gene\t"), "my_gene");
    EXPECT_EQ(TGeneBox::StorableName("a=b;c,d.e:f"), "a_b_c_d_e_f");
    EXPECT_EQ(TGeneBox::StorableName("line\nbreak"), "line_break");
    EXPECT_EQ(TGeneBox::StorableName(QString::fromUtf8("caf\u00e9 \u20ac")), QString::fromUtf8("caf\u00e9__"));
    EXPECT_EQ(TGeneBox::StorableName("   "), ""); // still means: bank nothing

    QTemporaryDir dir;
    const QString name = TGeneBox::StorableName(QString::fromUtf8(" \u00c4 b=c;\u20ac "));
    TGeneBox box;
    Bank(box, name, {7});
    box.SaveToFile(dir.filePath("n.gen"));
    TGeneBox loaded;
    loaded.LoadFromFile(dir.filePath("n.gen"));
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.Names(0), name);
    EXPECT_EQ(Values(loaded.Genes(0)), std::vector<uint8_t>{7});
}

// ---- Drags ---------------------------------------------------------------

class GeneBoxDrag : public ::testing::Test {
protected:
    void SetUp() override
    {
        Bank(FBox, "A", {1, 2});
        Bank(FBox, "B", {250, 0, 17});
        FBox.resize(200, 300);
        FBox.show();
    }
    QPoint Centre(int row) { return FBox.visualRect(FBox.model()->index(row, 0)).center(); }
    void Click(Qt::MouseButton button, QPoint pos)
    {
        QTest::mousePress(FBox.viewport(), button, {}, pos);
        QTest::mouseRelease(FBox.viewport(), button, {}, pos);
    }

    TGeneBox FBox;
};

TEST_F(GeneBoxDrag, ALeftPressOnAnEntryMakesItTheDragGene)
{
    EXPECT_EQ(FBox.DragGene(), nullptr);
    Click(Qt::LeftButton, Centre(1));
    ASSERT_NE(FBox.DragGene(), nullptr);
    EXPECT_EQ(*FBox.DragGene(), FBox.Genes(1));
    const std::unique_ptr<QMimeData> mime = FBox.CreateDragData();
    EXPECT_EQ(mime->data(kGeneBoxMimeType), QByteArray("\xfa\x00\x11", 3));
    EXPECT_FALSE(mime->hasFormat(kWormMimeType));

    Click(Qt::RightButton, Centre(0)); // other buttons do nothing
    EXPECT_EQ(*FBox.DragGene(), FBox.Genes(1));
    Click(Qt::LeftButton, QPoint(10, FBox.viewport()->height() - 3)); // below the last line
    EXPECT_EQ(*FBox.DragGene(), FBox.Genes(1));
    Click(Qt::LeftButton, Centre(0));
    EXPECT_EQ(*FBox.DragGene(), FBox.Genes(0));

    Bank(FBox, "C", {5}); // banking more must not change the pressed entry's genome
    EXPECT_EQ(*FBox.DragGene(), FBox.Genes(0));
    EXPECT_EQ(FBox.CreateDragData()->data(kGeneBoxMimeType), QByteArray("\x01\x02", 2));
}

TEST_F(GeneBoxDrag, DroppingAnEntryOnAWormGivesItACopy)
{
    Click(Qt::LeftButton, Centre(1));
    TWorm worm;
    const std::unique_ptr<QMimeData> mime = FBox.CreateDragData();
    ASSERT_TRUE(worm.AcceptsDrop(mime.get(), &FBox));
    worm.Drop(mime.get(), &FBox);
    EXPECT_EQ(Values(worm.Gene()), (std::vector<uint8_t>{250, 0, 17}));
    worm.Mutate();
    worm.Randomize();
    EXPECT_EQ(Values(FBox.Genes(1)), (std::vector<uint8_t>{250, 0, 17}));
}

TEST_F(GeneBoxDrag, OnlyAWormsDragIsAccepted)
{
    TWorm worm;
    QMimeData wormMime;
    wormMime.setData(kWormMimeType, QByteArray(1, '\x01'));
    QMimeData bankMime;
    bankMime.setData(kGeneBoxMimeType, QByteArray(1, '\x01'));
    QMimeData text;
    text.setText("A = 1, 1;");

    EXPECT_TRUE(FBox.AcceptsDrop(&wormMime, &worm));
    EXPECT_FALSE(FBox.AcceptsDrop(&wormMime, nullptr)); // from outside the program
    EXPECT_FALSE(FBox.AcceptsDrop(&wormMime, &FBox));
    EXPECT_FALSE(FBox.AcceptsDrop(&bankMime, &FBox)); // the bank's own drag
    EXPECT_FALSE(FBox.AcceptsDrop(&text, &worm));
    EXPECT_FALSE(FBox.AcceptsDrop(nullptr, &worm));

    // Through the event: a synthetic drag has no source, so it is refused.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &wormMime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(FBox.viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &wormMime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(FBox.viewport(), &drop);
    EXPECT_EQ(FBox.Count(), 2);
}

TEST_F(GeneBoxDrag, DroppingAWormBanksItsGenomeUnderTheHostsName)
{
    TWorm worm;
    SetWormGenes(worm, {8, 6});
    QMimeData mime;
    mime.setData(kWormMimeType, QByteArray("\x08\x06", 2));

    FBox.Drop(&mime, &worm); // no naming handler: nothing
    EXPECT_EQ(FBox.Count(), 2);

    QString asked;
    FBox.SetOnGetGeneName([&](TGeneBox*, const TGene&, QString& name) {
        asked = name;
        name = "Dropped";
    });
    FBox.Drop(&mime, &worm);
    ASSERT_EQ(FBox.Count(), 3);
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(FBox.Names(2), "Dropped");
    EXPECT_EQ(Values(FBox.Genes(2)), (std::vector<uint8_t>{8, 6}));

    FBox.Drop(&mime, nullptr); // no worm behind the drag: nothing
    EXPECT_EQ(FBox.Count(), 3);

    // A failing naming step (the drop event shows it in the error box) banks nothing.
    FBox.SetOnGetGeneName([](TGeneBox*, const TGene&, QString& name) {
        name = "Half";
        throw Exception("cancelled");
    });
    EXPECT_THROW(FBox.Drop(&mime, &worm), Exception);
    EXPECT_EQ(FBox.Count(), 3);
}

} // namespace
} // namespace zw
