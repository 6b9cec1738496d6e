#include "ui/GeneControls.h"

#include "app/GeneTranslation.h"
#include "audio/Lv2Genes.h"
#include "rules/FrmTranslat.h"
#include "ui/BreederTabs.h"
#include "ui/Forms.h"
#include "ui/MidiDevices.h"
#include "ui/SoundControl.h"
#include "worms/GeneView.h"
#include "worms/WormPanel.h"

#include <QAction>
#include <QMenu>
#include <QScrollArea>

#include <algorithm>

namespace zw {
namespace {

// The gene view's width; the window grows by it while the view is shown.
constexpr int kGeneViewWidth = 300;

} // namespace

TGeneControls::TGeneControls(const TBreederTabs& breeders, const TMidiDevices& midi, const TSoundControl& sound,
                             QWidget& window)
    : FBreeders(breeders), FMidi(midi), FSound(sound), FWindow(window)
{
    connect(&sound, &TSoundControl::InstrumentsChanged, this, [this] { InstrumentsChanged(); });
}

QWidget* TGeneControls::CreateView()
{
    FArea = new QScrollArea(&FWindow);
    FArea->setObjectName("GeneViewArea");
    FArea->setFocusPolicy(Qt::NoFocus);
    FArea->setWidgetResizable(true);
    FArea->setMinimumWidth(kGeneViewWidth);
    FView = new TGeneView;
    FArea->setWidget(FView);
    FView->SetValueText([this](int gene, int value) { return ValueText(gene, value); });
    FArea->hide();
    return FArea;
}

void TGeneControls::AddMenu(QMenu* menu)
{
    FMenu = menu->addAction("&Gene view");
    FMenu->setObjectName("MenuGeneView");
    FMenu->setShortcut(QKeySequence(Qt::Key_F6));
    FMenu->setCheckable(true);
    connect(FMenu, &QAction::triggered, this, [this](bool on) { SetShown(on); });
    for (QAction* action : FView->Actions()) {
        menu->addAction(action);
        // The framed gene stays in sight.
        connect(action, &QAction::triggered, this, [this] {
            FArea->ensureVisible(0, FView->RowRect(FView->Current()).center().y(), 0, TGeneView::kRowHeight);
        });
    }
    connect(FBreeders.Tabs, &QTabWidget::currentChanged, this, [this] {
        if (FArea->isVisible()) {
            FView->SetPanel(FBreeders.Shown());
            UpdateGeneInfo();
        }
    });
}

bool TGeneControls::Shown() const { return FMenu->isChecked(); }

void TGeneControls::SetShown(bool shown)
{
    FMenu->setChecked(shown);
    for (QAction* action : FView->Actions())
        action->setEnabled(shown);
    // A hidden view follows no breeder, so it costs nothing while breeding.
    FView->SetPanel(shown ? FBreeders.Shown() : nullptr);
    if (shown)
        UpdateGeneInfo();
    FArea->setVisible(shown);
    // The window grows to show the view beside the breeders and the whole bank.
    FWindow.setMinimumSize(
        FWindow.minimumSizeHint().expandedTo(QSize(TMainSettings::kMinWidth, TMainSettings::kMinHeight)));
}

void TGeneControls::ApplyDefaultLocks()
{
    if (!FormTranslate)
        return;
    const TSubstitution& rules = FormTranslate->Substitution();
    for (TChannel c = 0; c < kChannelCount; ++c) {
        // A breeder with an instrument takes none of the rules' locks: its
        // ports left out of breeding are not among its genes.
        if (!FDefaultLocksDue[static_cast<size_t>(c)] || !FSound.Instruments()[static_cast<size_t>(c)].empty())
            continue;
        FDefaultLocksDue[static_cast<size_t>(c)] = false;
        TGeneMask mask = FBreeders.Panel(c)->GeneMask();
        for (int gene = 0; gene < std::min(rules.Count(), TGeneMask::kMaxGenes); ++gene)
            if (rules.DefaultLocked(gene))
                mask.SetLocked(gene, true);
        FBreeders.Panel(c)->SetGeneMask(mask);
    }
}

void TGeneControls::InstrumentsChanged()
{
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const std::vector<TLv2Gene>* genes = FSound.InstrumentGenes(c);
        FBreeders.Panel(c)->SetHeardGenes(genes ? static_cast<int>(genes->size()) : -1);
    }
    UpdateGeneInfo();
}

void TGeneControls::UpdateGeneInfo()
{
    if (!Shown())
        return;
    std::vector<TGeneInfo> info;
    if (const std::vector<TLv2Gene>* genes = FSound.InstrumentGenes(FBreeders.Shown()->Tag())) {
        // Genes past the last port are played by nothing.
        for (const TLv2Gene& gene : *genes)
            info.push_back({QString::fromStdString(gene.Port.Name), true});
        FView->SetGeneInfo(std::move(info), false);
        return;
    }
    if (!FormTranslate) {
        FView->SetGeneInfo({}); // nothing known, not another breeder's ports
        return;
    }
    const TSubstitution& rules = FormTranslate->Substitution();
    info.resize(static_cast<size_t>(std::max(0, rules.Count())));
    for (int gene = 0; gene < rules.Count(); ++gene) {
        TGeneInfo& entry = info[static_cast<size_t>(gene)];
        entry.Active = rules.Active(gene);
        entry.Name = QString::fromLatin1(rules.Name(gene));
    }
    FView->SetGeneInfo(std::move(info));
}

QString TGeneControls::ValueText(int gene, int value) const
{
    const TChannel channel = FBreeders.Shown()->Tag();
    if (const std::vector<TLv2Gene>* genes = FSound.InstrumentGenes(channel)) {
        if (gene < 0 || gene >= static_cast<int>(genes->size()))
            return QString();
        return QString::fromStdString((*genes)[static_cast<size_t>(gene)].ValueText(static_cast<uint8_t>(value)));
    }
    if (!FormTranslate)
        return QString();
    return QString::fromStdString(
        GeneValueText(FormTranslate->Substitution(), FMidi.OutChannel(channel), gene, value));
}

void TGeneControls::ApplySettings(const TMainSettings& s)
{
    for (TChannel c = 0; c < kChannelCount; ++c) {
        FBreeders.Panel(c)->SetGeneMask(s.GeneMasks[static_cast<size_t>(c)]);
        FDefaultLocksDue[static_cast<size_t>(c)] = !s.LocksKept[static_cast<size_t>(c)];
    }
}

void TGeneControls::SaveSettings(TMainSettings& s) const
{
    for (TChannel c = 0; c < kChannelCount; ++c)
        s.GeneMasks[static_cast<size_t>(c)] = FBreeders.Panel(c)->GeneMask();
    s.GeneViewShown = Shown();
}

} // namespace zw
