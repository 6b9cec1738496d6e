#include "app/FrmMain.h"

#include "app/ControlMap.h"
#include "app/DeferredAction.h"
#include "app/FailureTally.h"
#include "app/Forms.h"
#include "app/FrmAbout.h"
#include "app/MainKeys.h"
#include "app/IniFile.h"
#include "app/SoundStatus.h"
#include "app/MorphKnob.h"
#include "app/StatusLine.h"
#include "common/Checked.h"
#include "common/Guard.h"
#include "common/ProgramFiles.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/SynthBinding.h"
#include "app/InstrumentBreeders.h"
#include "audio/Lv2World.h"
#include "rules/FrmTranslat.h"
#include "rules/FrmRuleHelp.h"
#include "worms/Gene.h"
#include "worms/GeneBox.h"
#include "worms/WormPanel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zw {
namespace {

constexpr int kMinAutoInterval = 600;
constexpr int kMaxAutoInterval = 120000;
constexpr int kLampMs = 250;
// How long a breeding step may go unsaved: what a crash or a kill loses.
constexpr std::chrono::seconds kBreedersSaveDelay{2};
// The rows of the automation and operation groups.
constexpr int kOperationRowHeight = 15;
const QColor kLampResting(0x80, 0x80, 0x80);
const QColor kLampFlowing(0x00, 0x00, 0xFF);

const char* const kGeneFileFilter = "gene files (*.gen)|*.gen|all files (*.*)|*.*";

// A spin control whose value changes only through its arrows: typing is off.
class TArrowSpinEdit : public QSpinBox {
public:
    TArrowSpinEdit(const QString& objectName, int minimum, int maximum, int step, int value, QWidget* parent)
        : QSpinBox(parent)
    {
        setObjectName(objectName);
        setRange(minimum, maximum);
        setSingleStep(step);
        setValue(value);
        lineEdit()->setReadOnly(true);
    }
};

// Runs `action` guarded: the connection slot of every control.
template <typename F>
auto Guarded(F action)
{
    return [action](auto&&...) { RunGuarded(action); };
}

QString ChannelLetter(TChannel channel) { return QString(QChar('A' + channel)); }

// Runs a key's `action` on `panel`; None does nothing.
void RunKeyAction(TKeyAction action, TWormPanel& panel)
{
    switch (action) {
    case TKeyAction::None:
        break;
    case TKeyAction::AudiblePrev:
        panel.AudiblePrev();
        break;
    case TKeyAction::AudibleNext:
        panel.AudibleNext();
        break;
    case TKeyAction::AudibleUp:
        panel.AudibleUp();
        break;
    case TKeyAction::AudibleDown:
        panel.AudibleDown();
        break;
    case TKeyAction::FrozenPrev:
        panel.FrozenPrev();
        break;
    case TKeyAction::FrozenNext:
        panel.FrozenNext();
        break;
    case TKeyAction::FrozenUp:
        panel.FrozenUp();
        break;
    case TKeyAction::FrozenDown:
        panel.FrozenDown();
        break;
    case TKeyAction::Mate:
        panel.Mate();
        break;
    case TKeyAction::RandomizeAll:
        panel.RandomizeAll();
        break;
    case TKeyAction::Morph:
        panel.Morph();
        break;
    case TKeyAction::MutateAll:
        panel.MutateAll();
        break;
    case TKeyAction::Rate0:
    case TKeyAction::Rate1:
    case TKeyAction::Rate2:
    case TKeyAction::Rate3:
        panel.SetRating(panel.Audible(), static_cast<int>(action) - static_cast<int>(TKeyAction::Rate0));
        break;
    case TKeyAction::BreedFromRated:
    case TKeyAction::ToggleAB:
        break; // the window's own: they reach beyond the panel
    }
}

void ShowNonModal(QWidget* window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("FormMain");
    setWindowTitle("Zwirbels");
    setGeometry(1, 103, 541, 553);
    setMinimumSize(541, 553);
    // The controls are laid out for a small dialog font.
    UseSmallDialogFont(*this);

    // The layout, as a form description would build it.
    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(4, 4, 4, 4);
    auto* left = new QVBoxLayout;
    left->addWidget(CreatePageControl());
    auto* groups = new QGridLayout;
    groups->addWidget(CreateAutomationGroup(), 0, 0);
    groups->addWidget(CreateOperationGroup(), 0, 1);
    groups->addWidget(CreateActiveChannelsGroup(), 0, 2);
    groups->addWidget(CreateSpinControls(), 1, 0, 1, 3);
    left->addLayout(groups);
    left->addStretch();
    columns->addLayout(left, 0);
    columns->addWidget(CreateGeneView(), 0);
    columns->addWidget(CreateGeneBank(), 1);
    setCentralWidget(central);
    CreateMenu();
    FStatusLine = new TStatusLine(this);
    statusBar()->addWidget(FStatusLine, 1);
    FSoundStatus = new TSoundStatus(
        *FStatusLine,
        []() -> std::optional<TAudioStatus> {
            auto* synth = dynamic_cast<TSynthBinding*>(&MidiBinding());
            if (!synth || !synth->SynthOpen())
                return std::nullopt;
            return synth->Audio().Status();
        },
        IniFileName(), this);
    FMidiFailures = std::make_unique<TFailureTally>(*FStatusLine, TStatusTopic::Midi);

    MidiOutput = new TMidiOutput(this);
    MidiOutput->setObjectName("MidiOutput");
    // A send that fails after its call returned is told like one that fails
    // at once: a lost device is told once, until it is back.
    MidiOutput->SetOnSendFailed([this](const std::function<void()>& raise) {
        if (FMidiOutLost)
            return;
        try {
            raise();
        } catch (const EmidioutputError& e) {
            MidiSendFailed(e, AutomationActive());
        }
    });
    MidiInput = new TMidiInput(this);
    MidiInput->setObjectName("MidiInput");
    MidiInput->SetSysexBufferSize(4096);
    FScheduler = std::make_unique<TMidiScheduler>();
    FLv2Catalog = std::make_unique<TLv2Catalog>();
    CreateControls();

    TimerAuto = new QTimer(this);
    TimerAuto->setObjectName("TimerAuto");
    TimerAuto->setInterval(FAutoInterval);
    connect(TimerAuto, &QTimer::timeout, this, [this] { TimerAutoTick(); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kLampMs);
    connect(Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
    Timer1->start();
    TimerMidiRecovery = new QTimer(this);
    TimerMidiRecovery->setObjectName("TimerMidiRecovery");
    TimerMidiRecovery->setInterval(1000);
    FBreedersSave = new TDeferredAction(kBreedersSaveDelay, [this] { KeepBreeders(); }, this);
    connect(TimerMidiRecovery, &QTimer::timeout, this, [this] { TimerMidiRecoveryTick(); });
    TimerMidiStart = new QTimer(this);
    TimerMidiStart->setObjectName("TimerMidiStart");
    TimerMidiStart->setInterval(50);
    connect(TimerMidiStart, &QTimer::timeout, this, Guarded([this] { TimerMidiStartTimer(); }));

    qApp->installEventFilter(this);
    FormCreate();
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    // The panels' listeners point back here; silence them before the children go.
    for (TWormPanel* panel : FWormPanels) {
        panel->SetOnWormChanged(nullptr);
        panel->SetOnStep(nullptr);
    }
    GeneBox1->SetOnGetGeneName(nullptr);
    MidiInput->SetOnMidiInput(nullptr);
    DisconnectMidiScheduler();
}

QWidget* TFormMain::CreatePageControl()
{
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setToolTip("Breeder");
    PageControl1->setDocumentMode(true);
    PageControl1->setFocusPolicy(Qt::NoFocus);
    for (TChannel channel = 0; channel < kChannelCount; ++channel) {
        auto* page = new QWidget;
        page->setObjectName(QString("TabSheet%1").arg(channel + 1));
        auto* panel = new TWormPanel(page);
        panel->setObjectName(QString("WormPanel%1").arg(channel + 1));
        panel->SetTag(channel);
        // The panel settings in the order a form description applies them.
        panel->SetRowCount(4);
        panel->SetColCount(4);
        panel->SetClearance(8);
        panel->SetBackColor(QColor(0x4A, 0x4A, 0x4A));
        panel->SetBorderColorNormal(QColor(0x4F, 0x4F, 0x4F));
        panel->SetPenColor(QColor(0xFF, 0xFF, 0xC4));
        panel->SetDrawLines(false);
        panel->SetOnWormChanged([this](TWormPanel* sender, const TGene& gene) { WormPanelWormChanged(sender, gene); });
        panel->SetOnStep([this](TWormPanel* sender, const TBreederSnapshot& before) { WormPanelStep(sender, before); });
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(2, 2, 2, 2);
        // The grid never changes size after this, so neither does the panel.
        panel->setFixedSize(panel->sizeHint());
        layout->addWidget(panel, 0, Qt::AlignLeft | Qt::AlignTop);
        FWormPanels[static_cast<size_t>(channel)] = panel;
        PageControl1->addTab(page, "&" + ChannelLetter(channel));
    }
    return PageControl1;
}

QToolButton* TFormMain::AddButton(const QString& objectName, const QString& text, const QString& hint,
                                  QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setText(text);
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QWidget* TFormMain::CreateAutomationGroup()
{
    struct TRow {
        TAutoMode Mode;
        const char* Name;
        const char* Hint;
    };
    static constexpr TRow kRows[] = {
        {TAutoMode::Randomize, "SpeedButtonAutoRandomize", "Auto randomize"},
        {TAutoMode::Mate, "SpeedButtonAutoMate", "Auto mate"},
        {TAutoMode::Mutate, "SpeedButtonAutoMutate", "Auto mutate"},
        {TAutoMode::BreedFromRated, "SpeedButtonAutoBreedFromRated", "Breed from rated"},
    };
    auto* group = new QGroupBox("Automation", this);
    auto* grid = new QGridLayout(group);
    grid->setSpacing(1);
    for (const TRow& row : kRows) {
        const int r = static_cast<int>(row.Mode);
        for (TChannel channel = 0; channel < kChannelCount; ++channel) {
            QToolButton* button = AddButton(row.Name + ChannelLetter(channel), ChannelLetter(channel), row.Hint, group);
            button->setCheckable(true);
            // Four rows in the height three had: the breeders above keep their room.
            button->setFixedSize(22, kOperationRowHeight);
            connect(button, &QToolButton::clicked, this, [this, mode = row.Mode, channel](bool down) {
                RunGuarded([&] { SpeedButtonAutoClick(mode, channel, down); });
            });
            FAutoButtons[static_cast<size_t>(r)][static_cast<size_t>(channel)] = button;
            grid->addWidget(button, r, channel);
        }
    }
    return group;
}

QWidget* TFormMain::CreateOperationGroup()
{
    auto* group = new QGroupBox("Operation", this);
    auto* column = new QVBoxLayout(group);
    column->setSpacing(1);
    struct TOperation {
        const char* Name;
        const char* Caption;
        void (TWormPanel::*Action)();
    };
    static constexpr TOperation kOperations[] = {
        {"SpeedButtonRandomize", "&- Randomize", &TWormPanel::RandomizeAll},
        {"SpeedButtonMate", "&+ Mate", &TWormPanel::Mate},
        {"SpeedButtonMutate", "&/ Mutate", &TWormPanel::MutateAll},
    };
    const auto addButton = [&](const char* name, const char* caption, const QString& hint) {
        QToolButton* button = AddButton(name, caption, hint, group);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFixedHeight(kOperationRowHeight);
        column->addWidget(button);
        return button;
    };
    for (const TOperation& operation : kOperations)
        connect(addButton(operation.Name, operation.Caption, QString()), &QToolButton::clicked, this,
                Guarded([this, action = operation.Action] { (CurrentPanel()->*action)(); }));
    connect(addButton("SpeedButtonBreedFromRated", "* Breed", "Breed from the rated worms"), &QToolButton::clicked,
            this, Guarded([this] { BreedFromRated(); }));
    return group;
}

QWidget* TFormMain::CreateActiveChannelsGroup()
{
    auto* group = new QGroupBox("Active channels", this);
    auto* column = new QVBoxLayout(group);
    auto* row = new QHBoxLayout;
    row->setSpacing(1);
    for (TChannel channel = 0; channel < kChannelCount; ++channel) {
        QToolButton* button = AddButton("SpeedButtonChActive" + ChannelLetter(channel), ChannelLetter(channel),
                                        "(de)activate channel", group);
        button->setCheckable(true);
        button->setFixedSize(22, 20);
        connect(button, &QToolButton::clicked, this, [this, channel](bool down) {
            RunGuarded([&] { SpeedButtonChActiveClick(channel, down); });
        });
        FChActiveButtons[static_cast<size_t>(channel)] = button;
        row->addWidget(button);
    }
    column->addLayout(row);
    column->addWidget(CreateAuditionButton(group));
    column->addWidget(CreateMidiLamp());
    return group;
}

QWidget* TFormMain::CreateSpinControls()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    SpinEditCrossoverProb = new TArrowSpinEdit("SpinEditCrossoverProb", 0, 100, 1, 33, box);
    SpinEditMutationProb = new TArrowSpinEdit("SpinEditMutationProb", 0, 100, 1, 50, box);
    SpinEditMutationRange = new TArrowSpinEdit("SpinEditMutationRange", 0, 255, 1, 5, box);
    SpineditAutoInterval =
        new TArrowSpinEdit("SpineditAutoInterval", kMinAutoInterval, kMaxAutoInterval, 100, FAutoInterval, box);
    const std::pair<const char*, QSpinBox*> controls[] = {
        {"Crossover &prob.", SpinEditCrossoverProb},
        {"&Mutation prob.", SpinEditMutationProb},
        {"M&utation range", SpinEditMutationRange},
        {"Auto &time (ms)", SpineditAutoInterval},
    };
    int index = 0;
    for (const auto& [caption, spin] : controls) {
        auto* label = new QLabel(caption, box);
        label->setBuddy(spin);
        grid->addWidget(label, index / 2, (index % 2) * 2);
        grid->addWidget(spin, index / 2, (index % 2) * 2 + 1);
        ++index;
    }
    connect(SpinEditCrossoverProb, &QSpinBox::valueChanged, this,
            [this](int value) { RunGuarded([&] { SpinEditCrossoverProbChange(value); }); });
    connect(SpinEditMutationProb, &QSpinBox::valueChanged, this,
            [this](int value) { RunGuarded([&] { SpinEditMutationProbChange(value); }); });
    connect(SpinEditMutationRange, &QSpinBox::valueChanged, this,
            [this](int value) { RunGuarded([&] { SpinEditMutationRangeChange(value); }); });
    connect(SpineditAutoInterval, &QSpinBox::valueChanged, this,
            [this](int value) { RunGuarded([&] { SetAutoInterval(value); }); });
    return box;
}

QWidget* TFormMain::CreateMidiLamp()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel("Midi out activity", box));
    PanelMidi = new QFrame(box);
    PanelMidi->setObjectName("PanelMidi");
    PanelMidi->setFixedSize(11, 6);
    PanelMidi->setAutoFillBackground(true);
    row->addWidget(PanelMidi);
    row->addStretch();
    SetMidiLamp(false);
    return box;
}

QWidget* TFormMain::CreateGeneBank()
{
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(1);
    const struct {
        const char* Name;
        const char* Caption;
        const char* Hint;
        void (TFormMain::*Action)();
    } kBankButtons[] = {
        {"SpeedButtonSaveGenes", "Save [F2]", "Save gene bank", &TFormMain::SaveGenes},
        {"SpeedButtonLoadGenes", "Load [F3]", "Load gene bank", &TFormMain::LoadGenes},
        {"SpeedButtonClearGenes", "Clear [F4]", "Clear gen bank", &TFormMain::ClearGenes},
    };
    for (const auto& bankButton : kBankButtons) {
        QToolButton* button = AddButton(bankButton.Name, bankButton.Caption, bankButton.Hint, box);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        connect(button, &QToolButton::clicked, this,
                Guarded([this, action = bankButton.Action] { (this->*action)(); }));
        buttons->addWidget(button);
    }
    column->addLayout(buttons);

    GeneBox1 = new TGeneBox(box);
    GeneBox1->setObjectName("GeneBox1");
    GeneBox1->setToolTip("Gene bank");
    GeneBox1->setMinimumWidth(60);
    GeneBox1->SetOnGetGeneName(
        [this](TGeneBox* sender, const TGene& gene, QString& name) { GeneBox1GetGeneName(sender, gene, name); });
    column->addWidget(GeneBox1, 1);

    // Planned copies between bank and breeder; they have no action yet.
    auto* copies = new QHBoxLayout;
    copies->setSpacing(1);
    for (const auto& [name, caption, hint] :
         {std::tuple{"SpeedButtonBankToBreeder", "<<<<", "copy gene bank to breeder"},
          std::tuple{"SpeedButtonBreederToBank", ">>>>", "copy breeder to gene bank"}}) {
        QToolButton* button = AddButton(name, caption, hint, box);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        button->setEnabled(false);
        copies->addWidget(button);
    }
    column->addLayout(copies);
    return box;
}

QAction* TFormMain::AddMenuAction(QMenu* menu, const QString& objectName, const QString& text,
                                  const QKeySequence& shortcut)
{
    QAction* menuAction = menu->addAction(text);
    menuAction->setObjectName(objectName);
    menuAction->setShortcut(shortcut);
    return menuAction;
}

void TFormMain::CreateMenu()
{
    const auto addAction = [this](QMenu* menu, const char* name, const char* text, const QKeySequence& shortcut,
                                  void (TFormMain::*action)()) {
        QAction* menuAction = AddMenuAction(menu, name, text, shortcut);
        connect(menuAction, &QAction::triggered, this, Guarded([this, action] { (this->*action)(); }));
        return menuAction;
    };
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("MenuFile");
    addAction(file, "MenuSaveGenes", "Save genes ...", QKeySequence(Qt::Key_F2), &TFormMain::SaveGenes);
    addAction(file, "MenuLoadGenes", "Load genes ...", QKeySequence(Qt::Key_F3), &TFormMain::LoadGenes);
    addAction(file, "MenuClearGenes", "Clear genes", QKeySequence(Qt::Key_F4), &TFormMain::ClearGenes);
    file->addSeparator();
    addAction(file, "MenuExportSound", "Export sound ...", QKeySequence(), &TFormMain::ExportSoundClick);
    addAction(file, "MenuExportMidi", "Export MIDI ...", QKeySequence(), &TFormMain::ExportMidiClick);
    file->addSeparator();
    addAction(file, "MenuNewBreeders", "New breeders", QKeySequence(), &TFormMain::NewBreedersClick);
    file->addSeparator();
    addAction(file, "MenuSaveLv2Preset", "Save as LV2 preset ...", QKeySequence(), &TFormMain::SaveLv2PresetClick);
    file->addSeparator();
    // Closing asks closeEvent, which may refuse.
    connect(AddMenuAction(file, "MenuExit", "E&xit", QKeySequence(Qt::ALT | Qt::Key_X)), &QAction::triggered, this,
            &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("MenuEdit");
    MenuUndo = addAction(edit, "MenuUndo", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), &TFormMain::UndoClick);
    MenuRedo = addAction(edit, "MenuRedo", "&Redo", QKeySequence(), &TFormMain::RedoClick);
    MenuRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // Both act on the breeder shown.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { UpdateEditMenu(); });

    QMenu* settings = menuBar()->addMenu("&Settings");
    settings->setObjectName("MenuSettings");
    addAction(settings, "MenuMidi", "&Midi ...", QKeySequence(), &TFormMain::MidiSettingsClick);
    addAction(settings, "MenuSound", "&Sound ...", QKeySequence(), &TFormMain::SoundClick);
    addAction(settings, "MenuEncodings", "&Encodings ...", QKeySequence(), &TFormMain::EncodingsClick);
    addAction(settings, "MenuControls", "&Controls ...", QKeySequence(), &TFormMain::ControlsClick);
    MenuAudition = AddMenuAction(settings, "MenuAudition", "&Audition", QKeySequence(Qt::Key_F5));
    MenuAudition->setCheckable(true);
    connect(MenuAudition, &QAction::triggered, this,
            [this](bool on) { RunGuarded([&] { AuditionPressed(on); }); });
    AddGeneViewMenu(settings);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("MenuHelp");
    addAction(help, "MenuRuleSyntaxHelp", "&Rule syntax help", QKeySequence(), &TFormMain::RuleSyntaxHelpClick);
    help->addSeparator();
    addAction(help, "MenuAbout", "&About ...", QKeySequence(), &TFormMain::AboutClick);
}

void TFormMain::FormCreate()
{
    PageControl1->setCurrentIndex(0);
    SetAutoInterval(700);
    FActiveChannels = TChannelSet();
    // Gene files go where the program may write: beside it, or the user's folder.
    const QString geneFolder = QString::fromStdString(WriteFolder());
    FOpenDialogGenes = {"Load genes from", kGeneFileFilter, "gen", geneFolder, QString()};
    FSaveDialogGenes = {"Save gene bank as", kGeneFileFilter, "gen", geneFolder, QString()};
    // Worm 1 first, so every panel registers its top-left worm as audible and
    // frozen although index 0 may already be stored.
    for (TWormPanel* panel : FWormPanels) {
        panel->SetAudible(1);
        panel->SetFrozen(1);
        panel->SetAudible(0);
        panel->SetFrozen(0);
    }
    FMidiInName.clear();
    FMidiOutName.clear();
    FMidiInSetting.clear();
    FMidiOutSetting.clear();
    FInChannels.fill(0);
    FOutChannels.fill(0);
    ReadSettings();
    RunGuarded([&] {
        SyncMidiScheduler();
        ConnectMidiScheduler();
    });
    const TWormPanel& channelA = *FWormPanels[0];
    SpinEditCrossoverProb->setValue(channelA.CrossOverProbability());
    SpinEditMutationProb->setValue(channelA.MutationProbability());
    SpinEditMutationRange->setValue(channelA.MutationRange());
    StartMidi();
    RunGuarded([&] { SetAuditionPlaying(FAudition.Playing); });
    EnableTimerAuto(AutomationActive());
    UpdateEditMenu();
}

TWormPanel* TFormMain::WormPanel(TChannel channel) const
{
    if (channel < 0 || channel >= kChannelCount)
        return nullptr;
    return FWormPanels[static_cast<size_t>(channel)];
}

TWormPanel* TFormMain::CurrentPanel() const
{
    return WormPanel(std::clamp(PageControl1->currentIndex(), 0, kChannelCount - 1));
}

// Keys ----------------------------------------------------------------------

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    if (static_cast<QWidget*>(watched)->window() != this)
        return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    if (!FormKeyDown(keyEvent->key(), keyEvent->modifiers()))
        return false;
    keyEvent->accept();
    return true;
}

bool TFormMain::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const TKeyAction action = MainKeyAction(key, modifiers);
    if (action == TKeyAction::None)
        return false;
    RunGuarded([&] {
        if (action == TKeyAction::BreedFromRated)
            BreedFromRated();
        else if (action == TKeyAction::ToggleAB)
            ToggleAB();
        else
            RunKeyAction(action, *CurrentPanel());
    });
    FFirstSteps.KeyPressed(action);
    ShowHint();
    return true;
}

// Channels and breeding parameters -----------------------------------------

void TFormMain::SpeedButtonChActiveClick(TChannel channel, bool down)
{
    FStatusLine->Clear(TStatusTopic::Channels);
    if (!down) {
        FActiveChannels.Exclude(channel);
        SyncMidiScheduler();
        return;
    }
    FActiveChannels.Include(channel);
    SyncMidiScheduler();
    WormPanel(channel)->NotifyAudible();
}

void TFormMain::SpinEditCrossoverProbChange(int value)
{
    for (TWormPanel* panel : FWormPanels)
        panel->SetCrossOverProbability(value);
}

void TFormMain::SpinEditMutationProbChange(int value)
{
    for (TWormPanel* panel : FWormPanels)
        panel->SetMutationProbability(value);
}

void TFormMain::SpinEditMutationRangeChange(int value)
{
    for (TWormPanel* panel : FWormPanels)
        panel->SetMutationRange(value);
}

// Automation -----------------------------------------------------------------

TChannelSet& TFormMain::AutoSet(TAutoMode mode)
{
    switch (mode) {
    case TAutoMode::Randomize:
        return FAutoRandomize;
    case TAutoMode::Mate:
        return FAutoMate;
    case TAutoMode::Mutate:
        return FAutoMutate;
    case TAutoMode::BreedFromRated:
        break;
    }
    return FAutoBreedFromRated;
}

bool TFormMain::AutomationActive() const
{
    return !FAutoRandomize.Empty() || !FAutoMate.Empty() || !FAutoMutate.Empty() || !FAutoBreedFromRated.Empty();
}

void TFormMain::EnableTimerAuto(bool enable)
{
    // Enabling a running timer must not restart its count.
    if (!enable)
        TimerAuto->stop();
    else if (!TimerAuto->isActive())
        TimerAuto->start();
}

void TFormMain::SetAutoInterval(int32_t ms)
{
    // Confined here rather than by the spin control alone: a period of 0 would
    // tick without pause, and the control would not report a value it already shows.
    ms = std::clamp(ms, kMinAutoInterval, kMaxAutoInterval);
    if (ms == FAutoInterval)
        return;
    FAutoInterval = ms;
    TimerAuto->setInterval(ms); // restarts a running count
    SpineditAutoInterval->setValue(ms);
}

void TFormMain::SpeedButtonAutoClick(TAutoMode mode, TChannel channel, bool down)
{
    if (down) {
        for (TAutoMode other :
             {TAutoMode::Randomize, TAutoMode::Mate, TAutoMode::Mutate, TAutoMode::BreedFromRated}) {
            if (other == mode)
                continue;
            AutoSet(other).Exclude(channel);
            FAutoButtons[static_cast<size_t>(other)][static_cast<size_t>(channel)]->setChecked(false);
        }
        AutoSet(mode).Include(channel);
    } else {
        AutoSet(mode).Exclude(channel);
    }
    EnableTimerAuto(AutomationActive());
}

void TFormMain::TimerAutoTick()
{
    // A failing rule shows a modal error box with an event loop of its own.
    // The ticks wait until it is closed; the toolkit would not re-enter a
    // timer's slot either, but that is not to be relied on.
    if (FInTick)
        return;
    FInTick = true;
    RunGuarded([this] {
        try {
            TimerAutoTimer();
        } catch (const EmidioutputError& e) {
            MidiSendFailed(e, true);
        }
    });
    FInTick = false;
}

void TFormMain::TimerMidiRecoveryTick()
{
    // The tick tells everything in the status line; should it still fail, its
    // error box runs an event loop in which the timer fires again: that tick
    // waits for the box, as the automation's does.
    if (FInRecovery)
        return;
    FInRecovery = true;
    RunGuarded([this] { TimerMidiRecoveryTimer(); });
    FInRecovery = false;
}

void TFormMain::TimerAutoTimer()
{
    if (!AutomationActive()) {
        TimerAuto->stop();
        return;
    }
    for (TChannel channel = 0; channel < kChannelCount; ++channel) {
        if (!FActiveChannels.Contains(channel))
            continue;
        TWormPanel* panel = WormPanel(channel);
        if (FAutoRandomize.Contains(channel))
            panel->RandomizeAll();
        if (FAutoMate.Contains(channel))
            panel->Mate();
        if (FAutoMutate.Contains(channel))
            panel->MutateAll();
        if (FAutoBreedFromRated.Contains(channel))
            BreedFromRatedOn(*panel);
    }
}

// Dispatch and the MIDI lamp -------------------------------------------------

bool TFormMain::SendToMidiOut(const std::vector<uint8_t>& bytes)
{
    if (!FMidiOutOpen || bytes.empty())
        return false;
    // One result travels as one long message, its length as a 16-bit number.
    try {
        MidiOutput->SendLong(bytes.data(), CheckedWord(static_cast<long long>(bytes.size())));
    } catch (const EmidioutputError&) {
        // A lost device is told once, in the status line: the port is closed from here on.
        if (!MidiOutputFailed())
            throw;
        return false;
    }
    SetMidiLamp(true);
    // Restarts the 250 ms count. A restart costs about as much as the send,
    // and one within a millisecond of the last changes nothing one can see.
    const auto now = std::chrono::steady_clock::now();
    if (!Timer1->isActive() || now - FLampRestarted > std::chrono::milliseconds(1)) {
        Timer1->start();
        FLampRestarted = now;
    }
    return true;
}

void TFormMain::Timer1Timer()
{
    Timer1->stop();
    SetMidiLamp(false);
}

void TFormMain::SetMidiLamp(bool flowing)
{
    // A palette change costs microseconds, and a dispatch lights the lamp once per result.
    const QColor wanted = flowing ? kLampFlowing : kLampResting;
    if (PanelMidi->palette().color(QPalette::Window) == wanted)
        return;
    QPalette palette = PanelMidi->palette();
    palette.setColor(QPalette::Window, flowing ? kLampFlowing : kLampResting);
    PanelMidi->setPalette(palette);
}

// Gene bank ------------------------------------------------------------------

void TFormMain::SaveGenes()
{
    const QString fileName = AskSaveFileName(FSaveDialogGenes);
    if (fileName.isEmpty())
        return;
    FSaveDialogGenes.FileName = fileName;
    GeneBox1->SaveToFile(fileName);
}

void TFormMain::LoadGenes()
{
    const QString fileName = Dialogs().OpenFileName(FOpenDialogGenes);
    if (fileName.isEmpty())
        return;
    FOpenDialogGenes.FileName = fileName;
    GeneBox1->LoadFromFile(fileName);
}

void TFormMain::ClearGenes() { GeneBox1->Clear(); }

void TFormMain::GeneBox1GetGeneName(TGeneBox* aSender, const TGene& aGene, QString& aName)
{
    static_cast<void>(aGene);
    if (aName.isEmpty())
        aName = QString::asprintf("Gene%d", aSender->Count());
    QString answer = aName;
    if (Dialogs().InputQuery("Supply a name for this gene", "Name", answer))
        aName = answer;
    // A gene file splits names at its separators; store what will come back.
    const QString storable = TGeneBox::StorableName(aName);
    if (!storable.isEmpty() && storable != aName)
        Dialogs().ShowMessage(
            QString("A gene file cannot keep the name \"%1\"; the gene is banked as \"%2\".").arg(aName, storable));
    aName = storable;
}

// Menu -----------------------------------------------------------------------

void TFormMain::EncodingsClick()
{
    LoadTranslations();
    ShowNonModal(FormTranslate);
}

void TFormMain::RuleSyntaxHelpClick() { ShowNonModal(FormRuleHelp); }

void TFormMain::AboutClick() { ShowNonModal(FormAbout); }

// Window events --------------------------------------------------------------

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    RunGuarded([this] { LoadTranslations(); });
    if (!FShownOnce) {
        FShownOnce = true;
        if (!TimerMidiStart->isActive()) // else sent once the devices are open
            SendActiveChannels();
    }
}

void TFormMain::CloseWithoutAsking()
{
    FCloseWithoutAsking = true;
    close();
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    // FormCloseQuery: the rules editor, once it exists, decides whether its
    // unsaved rules may be dropped.
    if (!FCloseWithoutAsking && FormTranslate && !FormTranslate->CloseQuery()) {
        event->ignore();
        return;
    }
    // A settings file that cannot be written is reported; the program still closes.
    RunGuarded([this] { WriteSettings(); });
    RunGuarded([this] { WriteBreeders(); });
    // No note may outlive the window.
    FScheduler->SetOutput(nullptr, 0);
    event->accept();
    emit Closed();
}

} // namespace zw
