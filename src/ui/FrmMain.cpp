#include "ui/FrmMain.h"

#include "app/MainKeys.h"
#include "common/Dialogs.h"
#include "common/Guard.h"
#include "rules/FrmRuleHelp.h"
#include "rules/FrmTranslat.h"
#include "ui/AuditionControl.h"
#include "ui/Automation.h"
#include "ui/ExportActions.h"
#include "ui/Forms.h"
#include "ui/FrmAbout.h"
#include "ui/GeneControls.h"
#include "ui/KeptBreeders.h"
#include "ui/MidiControls.h"
#include "ui/MidiDevices.h"
#include "ui/SettingsStore.h"
#include "ui/SoundControl.h"
#include "ui/SoundMatch.h"
#include "ui/StatusLine.h"
#include "ui/WormPage.h"
#include "midi/MidiScheduler.h"
#include "worms/Gene.h"
#include "worms/GeneBox.h"
#include "worms/WormPanel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
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
#include <QToolButton>
#include <QVBoxLayout>

#include <iostream>

namespace zw {
namespace {

// The rows of the automation and operation groups.
constexpr int kOperationRowHeight = 15;
constexpr int kAutomationRowHeight = 12;

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
    FStatusLine = new TStatusLine(this);
    QWidget* pages = CreatePageControl();
    CreateFeatures();

    // The layout, as a form description would build it.
    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(4, 4, 4, 4);
    auto* left = new QVBoxLayout;
    left->addWidget(pages, 1);
    auto* groups = new QGridLayout;
    groups->addWidget(CreateAutomationGroup(), 0, 0);
    groups->addWidget(CreateOperationGroup(), 0, 1);
    groups->addWidget(CreateActiveChannelsGroup(), 0, 2);
    groups->addWidget(CreateSpinControls(), 1, 0, 1, 3);
    left->addLayout(groups);
    columns->addLayout(left, 0);
    columns->addWidget(FGenes->CreateView(), 0);
    columns->addWidget(CreateGeneBank(), 1);
    setCentralWidget(central);
    CreateMenu();
    statusBar()->addWidget(FStatusLine, 1);
    statusBar()->addPermanentWidget(FMatch->CreateProgress(this));
    // Never smaller than what it shows, at any scale.
    setMinimumSize(minimumSizeHint().expandedTo(minimumSize()));
    FAutomation->SetButtons(FAutoButtons, FChActiveButtons, SpineditAutoInterval);
    WireFeatures();

    qApp->installEventFilter(this);
    FormCreate();
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    // The panels' listeners point back here; silence them before the children go.
    for (TWormPanel* panel : FBreeders.Panels) {
        panel->SetOnWormChanged(nullptr);
        panel->SetOnStep(nullptr);
        panel->SetOnStepContinued(nullptr);
    }
    GeneBox1->SetOnGetGeneName(nullptr);
}

void TFormMain::CreateFeatures()
{
    FMidi = std::make_unique<TMidiDevices>(*FStatusLine, *this);
    FAutomation = std::make_unique<TAutomation>(FBreeders, *FMidi, *FStatusLine, *this);
    FAudition = std::make_unique<TAuditionControl>(FBreeders, *FMidi, *FAutomation, *FStatusLine);
    FSound = std::make_unique<TSoundControl>(FBreeders, *FMidi, *FAudition, *FAutomation, *FStatusLine, *this);
    FExports = std::make_unique<TExportActions>(FBreeders, *FMidi, *FSound, *FAudition, *FStatusLine,
                                                [this] { FSettings->LoadTranslations(); });
    FGenes = std::make_unique<TGeneControls>(FBreeders, *FMidi, *FSound, *this);
    FMidiControls = std::make_unique<TMidiControls>(FBreeders, *FMidi, *FStatusLine, *this);
    AddControlActions();
    FKept = std::make_unique<TKeptBreeders>(FBreeders, *FStatusLine);
    FSettings = std::make_unique<TSettingsStore>(
        *this, FBreeders, TSettingsParts{*FMidi, *FAutomation, *FAudition, *FSound, *FGenes, *FMidiControls, *FKept});
    FMatch = std::make_unique<TSoundMatch>(FBreeders, *FMidi, *FSound, *FAudition, *FAutomation, *FStatusLine);
}

void TFormMain::WireFeatures()
{
    FMidi->SetHooks({
        .ChannelsChanged = [this] { FAudition->SyncScheduler(); },
        .SynthOpened = [this] { FSound->SendSynthPrograms(); },
        .Started =
            [this] {
                if (FShownOnce)
                    SendActiveChannels();
            },
        .Automated = [this] { return FAutomation->Active(); },
        .InputOpened = [this] { FMidiControls->InputOpened(); },
    });
    FAutomation->SetOnActiveChanged([this] { FAudition->SyncScheduler(); });
    FAutomation->SetOnTowardTarget([this](const TChannelSet& channels) { FMatch->BreedToward(channels); });
    FAudition->SetHooks({
        .PlaysInstrument = [this](TChannel channel) { return FSound->PlaysInstrument(channel); },
        .Pressed =
            [this](bool playing) {
                if (playing)
                    FFirstSteps.AuditionStarted();
                ShowHint();
            },
        .Silenced = [this](TChannel channel) { return FMatch->Silenced(channel); },
    });
    FSound->SetHooks({
        .LoadRules = [this] { FSettings->LoadTranslations(); },
        .WriteSound = [this] { FSettings->WriteSound(); },
    });
    FExports->SetGeneBox(GeneBox1);
}

void TFormMain::AddControlActions()
{
    const auto showNext = [this](int step) {
        return [this, step] {
            FBreeders.Tabs->setCurrentIndex((FBreeders.Tabs->currentIndex() + step + kChannelCount) % kChannelCount);
        };
    };
    TMidiControls& controls = *FMidiControls;
    controls.AddAction("Undo", "Undo", [this] { FKept->UndoClick(); });
    controls.AddAction("Redo", "Redo", [this] { FKept->RedoClick(); });
    controls.AddAction("Audition", "Audition on/off", [this] { FAudition->SetPlaying(!FAudition->Playing()); });
    controls.AddAction("NextBreeder", "Next breeder", showNext(1));
    controls.AddAction("PreviousBreeder", "Previous breeder", showNext(-1));
    controls.AddAction("BreedFromRated", "Breed from rated", [this] { FAutomation->BreedFromRated(*CurrentPanel()); });
    controls.AddAction("AB", "A/B", [this] { ToggleAB(); });
    controls.AddMorphKnob();
}

QWidget* TFormMain::CreatePageControl()
{
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("PageControl1");
    tabs->setToolTip("Breeder");
    tabs->setDocumentMode(true);
    tabs->setFocusPolicy(Qt::NoFocus);
    FBreeders.Tabs = tabs;
    for (TChannel channel = 0; channel < kChannelCount; ++channel) {
        auto* page = new TWormPage;
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
        panel->SetOnStep([this](TWormPanel* sender, const TBreederSnapshot& before) { FKept->Step(sender, before); });
        panel->SetOnStepContinued([this](TWormPanel*) { FKept->StepContinued(); });
        page->SetPanel(panel);
        FBreeders.Panels[static_cast<size_t>(channel)] = panel;
        tabs->addTab(page, "&" + ChannelLetter(channel));
    }
    return tabs;
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
    using TMode = TAutomation::TMode;
    struct TRow {
        TMode Mode;
        const char* Name;
        const char* Hint;
    };
    static constexpr TRow kRows[] = {
        {TMode::Randomize, "SpeedButtonAutoRandomize", "Auto randomize"},
        {TMode::Mate, "SpeedButtonAutoMate", "Auto mate"},
        {TMode::Mutate, "SpeedButtonAutoMutate", "Auto mutate"},
        {TMode::BreedFromRated, "SpeedButtonAutoBreedFromRated", "Breed from rated"},
        {TMode::TowardTarget, "SpeedButtonAutoTowardTarget", "toward target"},
    };
    auto* group = new QGroupBox("Automation", this);
    auto* grid = new QGridLayout(group);
    grid->setSpacing(1);
    for (const TRow& row : kRows) {
        const int r = static_cast<int>(row.Mode);
        for (TChannel channel = 0; channel < kChannelCount; ++channel) {
            QToolButton* button = AddButton(row.Name + ChannelLetter(channel), ChannelLetter(channel), row.Hint, group);
            button->setCheckable(true);
            // Five rows in the height three had: the breeders above keep their room.
            button->setFixedSize(22, kAutomationRowHeight);
            connect(button, &QToolButton::clicked, this, [this, mode = row.Mode, channel](bool down) {
                RunGuarded([&] { FAutomation->AutoClick(mode, channel, down); });
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
            this, Guarded([this] { FAutomation->BreedFromRated(*CurrentPanel()); }));
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
            RunGuarded([&] { FAutomation->ActiveClick(channel, down); });
        });
        FChActiveButtons[static_cast<size_t>(channel)] = button;
        row->addWidget(button);
    }
    column->addLayout(row);
    column->addWidget(FAudition->CreateButton(group));
    column->addWidget(FMidi->CreateLamp(this));
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
    SpineditAutoInterval = new TArrowSpinEdit("SpineditAutoInterval", TAutomation::kMinInterval,
                                              TAutomation::kMaxInterval, 100, FAutomation->Interval(), box);
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
    // Each breeding parameter goes to all four breeders.
    const auto toPanels = [this](void (TWormPanel::*set)(int)) {
        return [this, set](int value) {
            RunGuarded([&] {
                for (TWormPanel* panel : FBreeders.Panels)
                    (panel->*set)(value);
            });
        };
    };
    connect(SpinEditCrossoverProb, &QSpinBox::valueChanged, this, toPanels(&TWormPanel::SetCrossOverProbability));
    connect(SpinEditMutationProb, &QSpinBox::valueChanged, this, toPanels(&TWormPanel::SetMutationProbability));
    connect(SpinEditMutationRange, &QSpinBox::valueChanged, this, toPanels(&TWormPanel::SetMutationRange));
    connect(SpineditAutoInterval, &QSpinBox::valueChanged, this,
            [this](int value) { RunGuarded([&] { FAutomation->SetInterval(value); }); });
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
        void (TExportActions::*Action)();
    } kBankButtons[] = {
        {"SpeedButtonSaveGenes", "Save [F2]", "Save gene bank", &TExportActions::SaveGenes},
        {"SpeedButtonLoadGenes", "Load [F3]", "Load gene bank", &TExportActions::LoadGenes},
        {"SpeedButtonClearGenes", "Clear [F4]", "Clear gen bank", &TExportActions::ClearGenes},
    };
    for (const auto& bankButton : kBankButtons) {
        QToolButton* button = AddButton(bankButton.Name, bankButton.Caption, bankButton.Hint, box);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed); // never clipped
        connect(button, &QToolButton::clicked, this,
                Guarded([this, action = bankButton.Action] { (FExports.get()->*action)(); }));
        buttons->addWidget(button);
    }
    column->addLayout(buttons);

    GeneBox1 = new TGeneBox(box);
    GeneBox1->setObjectName("GeneBox1");
    GeneBox1->setToolTip("Gene bank");
    GeneBox1->setMinimumWidth(60);
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

void TFormMain::CreateMenu()
{
    const auto addAction = [this](QMenu* menu, const char* name, const char* text, const QKeySequence& shortcut,
                                  std::function<void()> action = {}) {
        QAction* menuAction = menu->addAction(text);
        menuAction->setObjectName(name);
        menuAction->setShortcut(shortcut);
        if (action)
            connect(menuAction, &QAction::triggered, this, Guarded(std::move(action)));
        return menuAction;
    };
    TExportActions* exports = FExports.get();
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("MenuFile");
    addAction(file, "MenuSaveGenes", "Save genes ...", QKeySequence(Qt::Key_F2), [exports] { exports->SaveGenes(); });
    addAction(file, "MenuLoadGenes", "Load genes ...", QKeySequence(Qt::Key_F3), [exports] { exports->LoadGenes(); });
    addAction(file, "MenuClearGenes", "Clear genes", QKeySequence(Qt::Key_F4), [exports] { exports->ClearGenes(); });
    file->addSeparator();
    addAction(file, "MenuExportSound", "Export sound ...", QKeySequence(), [exports] { exports->ExportSoundClick(); });
    addAction(file, "MenuExportMidi", "Export MIDI ...", QKeySequence(), [exports] { exports->ExportMidiClick(); });
    file->addSeparator();
    addAction(file, "MenuNewBreeders", "New breeders", QKeySequence(), [this] { FKept->NewBreedersClick(); });
    addAction(file, "MenuBreedToward", "Breed toward a sound …", QKeySequence(), [this] { FMatch->BreedTowardClick(); });
    file->addSeparator();
    addAction(file, "MenuSaveLv2Preset", "Save as LV2 preset ...", QKeySequence(),
              [exports] { exports->SaveLv2PresetClick(); });
    file->addSeparator();
    // Closing asks closeEvent, which may refuse.
    connect(addAction(file, "MenuExit", "E&xit", QKeySequence(Qt::ALT | Qt::Key_X)), &QAction::triggered, this,
            &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("MenuEdit");
    QAction* undo = addAction(edit, "MenuUndo", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { FKept->UndoClick(); });
    QAction* redo = addAction(edit, "MenuRedo", "&Redo", QKeySequence(), [this] { FKept->RedoClick(); });
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    FKept->SetMenuActions(undo, redo);

    QMenu* settings = menuBar()->addMenu("&Settings");
    settings->setObjectName("MenuSettings");
    addAction(settings, "MenuMidi", "&Midi ...", QKeySequence(), [this] { FMidi->SettingsClick(); });
    addAction(settings, "MenuSound", "&Sound ...", QKeySequence(), [this] { FSound->SoundClick(); });
    addAction(settings, "MenuEncodings", "&Encodings ...", QKeySequence(), [this] {
        FSettings->LoadTranslations();
        ShowNonModal(FormTranslate);
    });
    addAction(settings, "MenuControls", "&Controls ...", QKeySequence(), [this] { FMidiControls->ControlsClick(); });
    FAudition->SetMenuAction(addAction(settings, "MenuAudition", "&Audition", QKeySequence(Qt::Key_F5)));
    FGenes->AddMenu(settings);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("MenuHelp");
    addAction(help, "MenuRuleSyntaxHelp", "&Rule syntax help", QKeySequence(), [] { ShowNonModal(FormRuleHelp); });
    help->addSeparator();
    addAction(help, "MenuAbout", "&About ...", QKeySequence(), [] { ShowNonModal(FormAbout); });
}

void TFormMain::FormCreate()
{
    FBreeders.Tabs->setCurrentIndex(0);
    // Worm 1 first, so every panel registers its top-left worm as audible and
    // frozen although index 0 may already be stored.
    for (TWormPanel* panel : FBreeders.Panels) {
        panel->SetAudible(1);
        panel->SetFrozen(1);
        panel->SetAudible(0);
        panel->SetFrozen(0);
    }
    FSettings->Read([this](bool firstStart) {
        FFirstSteps = TFirstSteps(firstStart);
        ShowHint();
    });
    RunGuarded([&] {
        FAudition->SyncScheduler();
        FMidi->ConnectScheduler();
    });
    const TWormPanel& channelA = *FBreeders.Panels[0];
    SpinEditCrossoverProb->setValue(channelA.CrossOverProbability());
    SpinEditMutationProb->setValue(channelA.MutationProbability());
    SpinEditMutationRange->setValue(channelA.MutationRange());
    FMidi->Start();
    RunGuarded([&] { FAudition->SetPlaying(FAudition->Playing()); });
    FAutomation->EnableTimer();
    FKept->UpdateEditMenu();
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
            FAutomation->BreedFromRated(*CurrentPanel());
        else if (action == TKeyAction::ToggleAB)
            ToggleAB();
        else
            RunKeyAction(action, *CurrentPanel());
    });
    FFirstSteps.KeyPressed(action);
    ShowHint();
    return true;
}

void TFormMain::ShowHint() { FStatusLine->Show(TStatusTopic::Hint, FFirstSteps.Hint()); }

void TFormMain::WormPanelWormChanged(TWormPanel* aSender, const TGene& aGene) { FSound->Dispatch(aSender, aGene); }

void TFormMain::ToggleAB()
{
    if (FMatch->TargetLoaded())
        FMatch->ToggleTarget();
    else
        FAudition->ToggleAB();
}

void TFormMain::SendActiveChannels()
{
    for (TChannel c = 0; c < kChannelCount; ++c)
        if (FAutomation->ActiveChannels().Contains(c))
            RunGuarded([&] { WormPanel(c)->NotifyAudible(); });
}

// Window events --------------------------------------------------------------

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    RunGuarded([this] { FSettings->LoadTranslations(); });
    if (!FShownOnce) {
        FShownOnce = true;
        if (!FMidi->StartWaiting()) // else sent once the devices are open
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
    // The rules editor, once it exists, decides whether its unsaved rules may be dropped.
    if (!FCloseWithoutAsking && FormTranslate && !FormTranslate->CloseQuery()) {
        event->ignore();
        return;
    }
    // What cannot be written is reported and the program still closes; the
    // end a signal asked for waits for no box: it is told on stderr.
    const auto tell = [this](const QString& text) {
        if (FCloseWithoutAsking)
            std::cerr << "zwirbels: " << text.toLocal8Bit().constData() << std::endl;
        else
            Dialogs().ShowError(text);
    };
    const auto write = [&](const std::function<void()>& step) {
        if (!FCloseWithoutAsking) {
            RunGuarded(step);
            return;
        }
        try {
            step();
        } catch (const std::exception& e) {
            tell(QString::fromLocal8Bit(e.what()));
        }
    };
    write([&] { FSettings->Write(tell); });
    write([this] { FKept->Write(); });
    FMatch->Stop(); // a search under way is dropped, its workers ended
    // No note may outlive the window.
    FMidi->Scheduler().SetOutput(nullptr, 0);
    event->accept();
    emit Closed();
}

} // namespace zw
