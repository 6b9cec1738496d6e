// The main window's side of the gene view: where it sits, what it shows (the
// breeder of the tab shown) and what it knows about each gene (the rules).
#include "app/Forms.h"
#include "app/FrmMain.h"
#include "app/GeneTranslation.h"
#include "common/Guard.h"
#include "rules/FrmTranslat.h"
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

QWidget* TFormMain::CreateGeneView()
{
    FGeneViewArea = new QScrollArea(this);
    FGeneViewArea->setObjectName("GeneViewArea");
    FGeneViewArea->setFocusPolicy(Qt::NoFocus);
    FGeneViewArea->setWidgetResizable(true);
    FGeneViewArea->setMinimumWidth(kGeneViewWidth);
    FGeneView = new TGeneView;
    FGeneViewArea->setWidget(FGeneView);
    FGeneView->SetValueText([this](int gene, int value) {
        if (!FormTranslate)
            return QString();
        const long long channel = OutChannel(static_cast<TChannel>(CurrentPanel()->Tag()));
        return QString::fromStdString(GeneValueText(FormTranslate->Substitution(), channel, gene, value));
    });
    FGeneViewArea->hide();
    return FGeneViewArea;
}

void TFormMain::AddGeneViewMenu(QMenu* menu)
{
    MenuGeneView = AddMenuAction(menu, "MenuGeneView", "&Gene view", QKeySequence(Qt::Key_F6));
    MenuGeneView->setCheckable(true);
    connect(MenuGeneView, &QAction::triggered, this, [this](bool on) { SetGeneViewShown(on); });
    for (QAction* action : FGeneView->Actions()) {
        menu->addAction(action);
        // The framed gene stays in sight.
        connect(action, &QAction::triggered, this, [this] {
            FGeneViewArea->ensureVisible(0, FGeneView->RowRect(FGeneView->Current()).center().y(), 0,
                                         TGeneView::kRowHeight);
        });
    }
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (FGeneViewArea->isVisible())
            FGeneView->SetPanel(CurrentPanel());
    });
}

bool TFormMain::GeneViewShown() const { return MenuGeneView->isChecked(); }

void TFormMain::SetGeneViewShown(bool shown)
{
    MenuGeneView->setChecked(shown);
    for (QAction* action : FGeneView->Actions())
        action->setEnabled(shown);
    // A hidden view follows no breeder, so it costs nothing while breeding.
    FGeneView->SetPanel(shown ? CurrentPanel() : nullptr);
    if (shown)
        UpdateGeneInfo();
    FGeneViewArea->setVisible(shown);
    setMinimumWidth(TMainSettings::kMinWidth + (shown ? kGeneViewWidth + 6 : 0));
}

void TFormMain::ApplyDefaultLocks()
{
    if (!FormTranslate)
        return;
    const TSubstitution& rules = FormTranslate->Substitution();
    for (TChannel c = 0; c < kChannelCount; ++c) {
        if (!FDefaultLocksDue[static_cast<size_t>(c)])
            continue;
        FDefaultLocksDue[static_cast<size_t>(c)] = false;
        TGeneMask mask = WormPanel(c)->GeneMask();
        for (int gene = 0; gene < std::min(rules.Count(), TGeneMask::kMaxGenes); ++gene)
            if (rules.DefaultLocked(gene))
                mask.SetLocked(gene, true);
        WormPanel(c)->SetGeneMask(mask);
    }
}

void TFormMain::UpdateGeneInfo()
{
    if (!FormTranslate || !GeneViewShown())
        return;
    const TSubstitution& rules = FormTranslate->Substitution();
    std::vector<TGeneInfo> info(static_cast<size_t>(std::max(0, rules.Count())));
    for (int gene = 0; gene < rules.Count(); ++gene) {
        TGeneInfo& entry = info[static_cast<size_t>(gene)];
        entry.Active = rules.Active(gene);
        entry.Name = QString::fromLatin1(rules.Name(gene));
    }
    FGeneView->SetGeneInfo(std::move(info));
}

} // namespace zw
