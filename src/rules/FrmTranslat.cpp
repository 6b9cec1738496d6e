#include "rules/FrmTranslat.h"

#include "common/Dialogs.h"
#include "common/Exceptions.h"
#include "common/FileNotes.h"
#include "common/Guard.h"
#include "common/ProgramFiles.h"
#include "common/TextLines.h"
#include "rules/Parser.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <exception>
#include <filesystem>

namespace zw {
namespace {

constexpr const char* kDefaultRule = "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";
constexpr int kColumnGene = 0;
constexpr int kColumnActive = 1;
constexpr int kColumnRule = 2;
constexpr int kColumnName = 3;
constexpr int kColumnCount = 4;

// File names are the system's bytes; rule texts are single-byte text, kept
// byte for byte.
QString FileNameToQt(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }
std::string FileNameFromQt(const QString& name) { return QFile::encodeName(name).toStdString(); }
QString RuleToQt(const std::string& rule) { return QString::fromLatin1(rule.data(), static_cast<qsizetype>(rule.size())); }
std::string RuleFromQt(const QString& rule) { return rule.toLatin1().toStdString(); }

bool FileExists(const std::string& name)
{
    std::error_code error;
    return !name.empty() && std::filesystem::is_regular_file(name, error);
}

// Anything under the name, a folder or a pipe too: that is the user's, never a missing file.
bool AnythingAt(const std::string& name)
{
    std::error_code error;
    return !name.empty() && std::filesystem::exists(name, error);
}

TFileDialogOptions RuleFileDialog(const char* title)
{
    TFileDialogOptions options;
    options.Title = QString::fromLatin1(title);
    options.Filter = QStringLiteral("substitution files (*.sub)|*.sub|all files (*.*)|*.*");
    options.DefaultExtension = QStringLiteral("sub");
    options.InitialDir = FileNameToQt(WriteFolder());
    return options;
}

// A debugger field as a rule variable: not an integer counts as 0, while a
// number too large for any type stays out of range so that it is refused.
long long FieldNumber(const QLineEdit* field)
{
    const QString text = field->text().trimmed();
    bool ok = false;
    const long long value = text.toLongLong(&ok);
    if (ok)
        return value;
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    if (digits.match(text).hasMatch())
        return text.startsWith('-') ? LLONG_MIN : LLONG_MAX;
    return 0;
}

QPushButton* NewButton(const char* name, const char* caption, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QLineEdit* NewNumberField(const char* name, const char* text, QWidget* parent)
{
    auto* field = new QLineEdit(QString::fromLatin1(text), parent);
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

} // namespace

TFormTranslate::TFormTranslate(QWidget* parent)
    : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("FormTranslate"));
    FBaseCaption = QStringLiteral("Translation rules");
    setWindowTitle(FBaseCaption);
    UseSmallDialogFont(*this);
    CreateControls();
    FSubstitution.SetCount(kRuleCount);
    SetupGrid();
    FFileNameAssigned = false;
    UpdateCaption();

    // Alt+X must be seen whichever control has the focus.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void TFormTranslate::CreateControls()
{
    resize(609, 505);
    setMinimumSize(609, 505);

    FStringGridRules = new QTableWidget(this);
    FStringGridRules->setObjectName(QStringLiteral("StringGridRules"));
    FStringGridRules->setMinimumSize(200, 100);
    FStringGridRules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FStringGridRules->setSelectionMode(QAbstractItemView::ContiguousSelection);
    FStringGridRules->setSelectionBehavior(QAbstractItemView::SelectItems);
    FStringGridRules->setWordWrap(false);
    // A name is edited on its own: a double click on its cell asks for it.
    connect(FStringGridRules, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column == kColumnName)
            RunGuarded([this, row] { EditName(row); });
    });

    auto* buttons = new QWidget(this);
    buttons->setObjectName(QStringLiteral("PanelBreederButtons"));
    buttons->setFixedWidth(130);
    FSpeedButtonClose = NewButton("SpeedButtonClose", "&Close", buttons);
    FSpeedButtonSave = NewButton("SpeedButtonSave", "&Save", buttons);
    FSpeedButtonLoad = NewButton("SpeedButtonLoad", "&Load", buttons);

    FGroupBox1 = new QGroupBox(QStringLiteral("debugger"), buttons);
    FGroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    FEditMidiCh = NewNumberField("EditMidiCh", "0", FGroupBox1);
    FEditGeneNr = NewNumberField("EditGeneNr", "1", FGroupBox1);
    FEditGeneVal = NewNumberField("EditGeneVal", "2", FGroupBox1);
    FCheckBoxDebug = new QCheckBox(QStringLiteral("Debug"), FGroupBox1);
    FCheckBoxDebug->setObjectName(QStringLiteral("CheckBoxDebug"));
    FCheckBoxDebug->setChecked(true);
    auto* debugger = new QFormLayout(FGroupBox1);
    debugger->addRow(QStringLiteral("midi ch"), FEditMidiCh);
    debugger->addRow(QStringLiteral("gene #"), FEditGeneNr);
    debugger->addRow(QStringLiteral("gene val"), FEditGeneVal);
    debugger->addRow(FCheckBoxDebug);

    FSpeedButtonSyntaxCheck = NewButton("SpeedButtonSyntaxCheck", "S&yntax check", buttons);
    FSpeedButtonSyntaxHelp = NewButton("SpeedButtonSyntaxHelp", "Syntax &help", buttons);

    auto* column = new QVBoxLayout(buttons);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(FSpeedButtonClose);
    column->addWidget(FSpeedButtonSave);
    column->addWidget(FSpeedButtonLoad);
    column->addWidget(FGroupBox1);
    column->addStretch();
    column->addWidget(FSpeedButtonSyntaxCheck);
    column->addWidget(FSpeedButtonSyntaxHelp);

    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("Panel1"));
    FCheckBoxActive = new QCheckBox(QStringLiteral("Ac&tive"), bottom);
    FCheckBoxActive->setObjectName(QStringLiteral("CheckBoxActive"));
    FComboBoxRule = new QComboBox(bottom);
    FComboBoxRule->setObjectName(QStringLiteral("ComboBoxRule"));
    FComboBoxRule->setEditable(true);
    FComboBoxRule->setInsertPolicy(QComboBox::NoInsert);
    FComboBoxRule->setEditText(QString::fromLatin1(kDefaultRule));
    FSpeedButtonUseOnSelection = NewButton("SpeedButtonUseOnSelection", "&Use on sel.", bottom);
    auto* bar = new QHBoxLayout(bottom);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(FCheckBoxActive);
    bar->addWidget(FComboBoxRule, 1);
    bar->addWidget(FSpeedButtonUseOnSelection);

    auto* layout = new QGridLayout(this);
    layout->addWidget(FStringGridRules, 0, 0);
    layout->addWidget(buttons, 0, 1);
    layout->addWidget(bottom, 1, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(0, 1);

    connect(FSpeedButtonClose, &QPushButton::clicked, this, [this] { close(); });
    connect(FSpeedButtonSave, &QPushButton::clicked, this, [this] { RunGuarded([this] { SaveRules(); }); });
    connect(FSpeedButtonLoad, &QPushButton::clicked, this, [this] { RunGuarded([this] { LoadWithDialog(); }); });
    connect(FSpeedButtonSyntaxCheck, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { SyntaxCheck(); }); });
    connect(FSpeedButtonSyntaxHelp, &QPushButton::clicked, this, [this] {
        if (FSyntaxHelpWindow) {
            FSyntaxHelpWindow->show();
            FSyntaxHelpWindow->raise();
            FSyntaxHelpWindow->activateWindow();
        }
    });
    connect(FSpeedButtonUseOnSelection, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { UseOnSelection(); }); });
}

void TFormTranslate::SetFileName(const std::string& name)
{
    if (name == FFileName)
        return;
    FFileName = name;
    UpdateCaption();
    FFileNameAssigned = true;
}

void TFormTranslate::SetModified(bool modified)
{
    if (modified == FModified)
        return;
    FModified = modified;
    UpdateCaption();
}

void TFormTranslate::UpdateCaption()
{
    setWindowTitle(FBaseCaption + QStringLiteral("  [") + FileNameToQt(FFileName) + QStringLiteral("] ") +
                   (FModified ? QStringLiteral("*") : QString()));
}

void TFormTranslate::SetupGrid()
{
    // The header row is the grid's own header, so it stays in view while
    // the rows scroll.
    FStringGridRules->setColumnCount(kColumnCount);
    FStringGridRules->setHorizontalHeaderLabels(
        {QStringLiteral("Gene #"), QStringLiteral("Active"), QStringLiteral("Rule"), QStringLiteral("Name")});
    FStringGridRules->verticalHeader()->hide();
    FStringGridRules->verticalHeader()->setMinimumSectionSize(16);
    FStringGridRules->verticalHeader()->setDefaultSectionSize(16);
    FStringGridRules->setColumnWidth(kColumnGene, 45);
    FStringGridRules->setColumnWidth(kColumnActive, 35);
    FStringGridRules->setColumnWidth(kColumnRule, 260);
    FStringGridRules->horizontalHeader()->setStretchLastSection(true);
    FillGrid();
    FStringGridRules->setCurrentCell(0, kColumnActive);
}

void TFormTranslate::FillGrid()
{
    FStringGridRules->setRowCount(GridRowCount() - 1);
    for (int row = 0; row < FStringGridRules->rowCount(); ++row)
        ShowEntry(row);
}

int TFormTranslate::GridRowCount() const { return std::max(FSubstitution.Count(), 1) + 1; }

void TFormTranslate::ShowEntry(int entry)
{
    const bool exists = entry < FSubstitution.Count();
    const QString texts[kColumnCount] = {
        exists ? QString::number(entry + 1) : QString(),
        exists && FSubstitution.Active(entry) ? QStringLiteral("X") : QString(),
        exists ? RuleToQt(FSubstitution.Rule(entry)) : QString(),
        exists ? RuleToQt(FSubstitution.NameText(entry)) : QString(),
    };
    for (int column = 0; column < kColumnCount; ++column) {
        QTableWidgetItem* item = FStringGridRules->item(entry, column);
        if (!item) {
            item = new QTableWidgetItem;
            if (column == kColumnGene) {
                // The number column is a header: never selected.
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(palette().button());
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            FStringGridRules->setItem(entry, column, item);
        }
        item->setText(texts[column]);
    }
}

TFormTranslate::TGridRect TFormTranslate::Selection() const
{
    const QList<QTableWidgetSelectionRange> ranges = FStringGridRules->selectedRanges();
    if (ranges.isEmpty())
        return {};
    const QTableWidgetSelectionRange& range = ranges.front();
    return {range.leftColumn(), range.topRow() + 1, range.rightColumn(), range.bottomRow() + 1};
}

void TFormTranslate::SetSelection(const TGridRect& rect)
{
    FStringGridRules->clearSelection();
    FStringGridRules->setRangeSelected(
        QTableWidgetSelectionRange(rect.Top - 1, rect.Left, rect.Bottom - 1, rect.Right), true);
}

void TFormTranslate::UseOnSelection()
{
    const TGridRect selection = Selection();
    const bool active = FCheckBoxActive->isChecked();
    const std::string rule = RuleFromQt(FComboBoxRule->currentText());
    const int top = std::max(selection.Top, 1);
    const int bottom = std::min(selection.Bottom, FSubstitution.Count());
    for (int row = top; row <= bottom; ++row) {
        if (selection.Left <= kColumnActive && selection.Right >= kColumnActive)
            FSubstitution.SetActive(row - 1, active);
        if (selection.Left <= kColumnRule && selection.Right >= kColumnRule)
            FSubstitution.SetRule(row - 1, rule);
        ShowEntry(row - 1);
    }
    SetModified(true);
    RulesChanged();
}

void TFormTranslate::EditName(int entry)
{
    if (entry < 0 || entry >= FSubstitution.Count())
        return;
    QString name = RuleToQt(FSubstitution.NameText(entry));
    if (!Dialogs().InputQuery(QStringLiteral("Gene name"),
                              QString("Name of gene %1 (\"[locked]\" at its end locks it by default):").arg(entry),
                              name))
        return;
    FSubstitution.SetNameText(entry, RuleFromQt(name));
    ShowEntry(entry);
    SetModified(true);
    RulesChanged();
}

void TFormTranslate::RulesChanged()
{
    if (OnRulesChanged) {
        const std::function<void()> handler = OnRulesChanged;
        handler();
    }
}

void TFormTranslate::LoadRules(TUnreadable unreadable)
{
    if (!AnythingAt(FFileName))
        SetFileName(DataFileName("default.sub"));
    if (!AnythingAt(FFileName)) {
        // Nothing to load: closing asks to save the empty rules.
        FFileRefused = false;
        SetModified(true);
        UpdateCaption();
        return;
    }
    // A file this window refused holds rules it never showed: until a
    // load succeeds, Save asks for a name instead of replacing it.
    FFileRefused = true;
    TFileNotes notes;
    try {
        notes = FSubstitution.LoadFromFile(FFileName);
    } catch (const Exception&) {
        // The name stays, and with it the settings' choice; the rules of
        // this run are the fallback's.
        if (unreadable == TUnreadable::UseFallback)
            LoadFallback();
        throw;
    }
    FFileRefused = false;
    SetModified(false);
    FillGrid();
    UpdateCaption();
    RulesChanged();
    if (!notes.empty())
        Dialogs().ShowError(QString::fromStdString(FileNotesMessage(FFileName, notes)));
}

void TFormTranslate::LoadFallback()
{
    const std::string fallback = DataFileName("default.sub");
    if (fallback == FFileName || !FileExists(fallback))
        return;
    try {
        FSubstitution.LoadFromFile(fallback);
    } catch (const Exception&) {
        return; // the box names the file that was asked for
    }
    SetModified(false);
    FillGrid();
}

bool TFormTranslate::SaveRules()
{
    if (FFileRefused || !FileExists(FFileName))
        return SaveRulesAs();
    FSubstitution.SaveToFile(FFileName);
    SetModified(false);
    UpdateCaption();
    return true;
}

bool TFormTranslate::SaveRulesAs()
{
    const QString name = AskSaveFileName(RuleFileDialog("Save substitutions as"));
    if (name.isEmpty())
        return false;
    const std::string fileName = FileNameFromQt(name);
    FSubstitution.SaveToFile(fileName);
    FFileRefused = false;
    SetModified(false);
    SetFileName(fileName);
    return true;
}

void TFormTranslate::LoadWithDialog()
{
    // Loading replaces the whole table: unsaved edits are not dropped unasked.
    if (!MayDropRules())
        return;
    const QString name = Dialogs().OpenFileName(RuleFileDialog("Load substitutions from"));
    if (name.isEmpty())
        return;
    SetFileName(FileNameFromQt(name));
    LoadRules(TUnreadable::KeepRules);
}

bool TFormTranslate::MayDropRules()
{
    if (!FModified)
        return true;
    const QString question =
        QStringLiteral("Translations [%1] changed - save 'm ?").arg(FileNameToQt(Escaped(FFileName)));
    switch (Dialogs().AskYesNoCancel(question)) {
    case TQueryAnswer::Yes:
        return SaveRules();
    case TQueryAnswer::No:
        return true;
    case TQueryAnswer::Cancel:
        break;
    }
    // Cancel keeps the edits, and keeps them marked: the next close asks again.
    return false;
}

bool TFormTranslate::CloseQuery() noexcept
{
    bool mayClose = false;
    RunGuarded([&] { mayClose = MayDropRules(); });
    return mayClose;
}

void TFormTranslate::SyntaxCheck()
{
    // The variables are the editor's only while it checks.
    struct TClearVariablesAfter {
        ~TClearVariablesAfter() { ClearVariables(); }
    } clearAfter;

    ClearVariables();
    AddVariables({FieldNumber(FEditMidiCh), FieldNumber(FEditGeneNr), FieldNumber(FEditGeneVal)});

    const std::string rule = RuleFromQt(FComboBoxRule->currentText());
    TRuleBytes result;
    bool ok = false;
    std::exception_ptr failure;
    try {
        ok = FCheckBoxDebug->isChecked() ? EvaluateRulesTraced(WritableFileName("debug.txt"), rule, result)
                                         : EvaluateRules(rule, result);
    } catch (...) {
        failure = std::current_exception();
    }
    // The verdict first, then (through the caller's error display) the reason.
    if (ok)
        Dialogs().ShowMessage(QString::fromStdString(Format("Syntax Ok. output( %s) = '%s' [%s]",
                                                            VariablesText().c_str(), ResultBitsText().c_str(),
                                                            ResultHexText().c_str())));
    else
        Dialogs().ShowMessage(QStringLiteral("Syntax error."));
    if (failure)
        std::rethrow_exception(failure);
}

void TFormTranslate::closeEvent(QCloseEvent* event)
{
    if (CloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TFormTranslate::HandleExitKey(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_X || (key->modifiers() & ~Qt::KeypadModifier) != Qt::AltModifier)
        return false;
    if (OnExitRequested)
        RunGuarded(OnExitRequested);
    return true;
}

void TFormTranslate::keyPressEvent(QKeyEvent* event)
{
    if (!HandleExitKey(event))
        QWidget::keyPressEvent(event);
}

bool TFormTranslate::eventFilter(QObject* watched, QEvent* event)
{
    if (HandleExitKey(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

} // namespace zw
