#include "worms/WormPanel.h"

#include "common/Checked.h"
#include "worms/Breeding.h"
#include "worms/RatedBreeding.h"
#include "worms/Worm.h"

#include <QPainter>

#include <algorithm>

namespace zw {

TWormPanel::TWormPanel(QWidget* parent) : TWormSettings(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);

    // The grid is built last, so its worms start with the worm defaults,
    // which are also the panel's.
    SetRowCount(2);
    SetColCount(2);
}

TWormPanel::~TWormPanel()
{
    // Free the worms while the panel is still whole: their destruction reaches
    // the panel's bookkeeping.
    while (!FWorms.empty())
        RemoveLastWorm();
}

TWorm* TWormPanel::Worms(int index) const
{
    if (index < 0 || index >= WormCount())
        return nullptr;
    return FWorms[static_cast<size_t>(index)];
}

void TWormPanel::SetRowCount(int value)
{
    if (value == FRowCount)
        return;
    FRowCount = value;
    AdjustWormCount();
}

void TWormPanel::SetColCount(int value)
{
    if (value == FColCount)
        return;
    FColCount = value;
    AdjustWormCount();
}

void TWormPanel::SetAudible(int index)
{
    if (TWorm* worm = Worms(index))
        worm->SetAudible(true);
}

void TWormPanel::SetFrozen(int index)
{
    if (TWorm* worm = Worms(index))
        worm->SetFrozen(true);
}

bool TWormPanel::ToggleAB()
{
    if (!Worms(FPrevious) || FPrevious == FAudible)
        return false;
    SetAudible(FPrevious);
    return true;
}

void TWormPanel::SetPrevious(int index)
{
    if (TWorm* worm = Worms(FPrevious))
        worm->SetMarkedB(false);
    FPrevious = Worms(index) ? index : -1;
    if (TWorm* worm = Worms(FPrevious))
        worm->SetMarkedB(true);
}

int TWormPanel::Rating(int index) const
{
    const TWorm* worm = Worms(index);
    return worm ? worm->Rating() : 0;
}

void TWormPanel::SetRating(int index, int rating)
{
    if (TWorm* worm = Worms(index))
        worm->SetRating(rating);
}

std::vector<uint8_t> TWormPanel::Ratings() const
{
    std::vector<uint8_t> ratings;
    for (const TWorm* worm : FWorms)
        ratings.push_back(static_cast<uint8_t>(worm->Rating()));
    return ratings;
}

void TWormPanel::SetSpacing(int value)
{
    const int spacing = CheckedByte(value);
    if (spacing == FSpacing)
        return;
    FSpacing = spacing;
    ArrangeWorms();
}

void TWormPanel::SetWormWidth(int value)
{
    const int wormWidth = CheckedByte(value);
    if (wormWidth == FWormWidth)
        return;
    FWormWidth = wormWidth;
    UpdateWorms();
    ArrangeWorms();
}

void TWormPanel::SetWormHeight(int value)
{
    const int wormHeight = CheckedByte(value);
    if (wormHeight == FWormHeight)
        return;
    FWormHeight = wormHeight;
    UpdateWorms();
    ArrangeWorms();
}

void TWormPanel::SetWormSize(int value)
{
    if (value == FWormSize)
        return;
    FWormSize = value;
    for (TWorm* worm : FWorms)
        worm->SetSize(value);
}

void TWormPanel::SetHeardGenes(int count)
{
    FHeardGenes = std::max(-1, count);
    for (TWorm* worm : FWorms)
        worm->SetHeardGenes(FHeardGenes);
}

void TWormPanel::RandomizeAll()
{
    Step([this] {
        const TGene audible = GenomeOf(Worms(FAudible));
        const TMaskedBreeding mask = MaskedBy(audible);
        for (int i = 0; i < WormCount(); ++i)
            if (i != FFrozen)
                Worms(i)->Randomize(&mask);
    });
}

void TWormPanel::RandomizeEvery()
{
    Step([this] {
        const TGene audible = GenomeOf(Worms(FAudible));
        const TMaskedBreeding mask = MaskedBy(audible);
        for (TWorm* worm : FWorms)
            worm->Randomize(&mask);
    });
}

void TWormPanel::MutateAll()
{
    Step([this] {
        const TGene audible = GenomeOf(Worms(FAudible));
        const TMaskedBreeding mask = MaskedBy(audible);
        for (int i = 0; i < WormCount(); ++i)
            if (i != FFrozen)
                Worms(i)->Mutate(&mask);
    });
}

void TWormPanel::Mate()
{
    Step([this] {
        TWorm* first = Worms(FAudible);
        TWorm* second = Worms(FFrozen);
        const TGene audible = GenomeOf(first);
        const TMaskedBreeding mask = MaskedBy(audible);
        // Two passes: every child is a copy of the first parent before any crossover.
        for (int i = 0; i < WormCount(); ++i)
            if (i != FAudible && i != FFrozen)
                Worms(i)->AssignWorm(first);
        for (int i = 0; i < WormCount(); ++i)
            if (i != FAudible && i != FFrozen)
                Worms(i)->CrossOver(second, &mask);
    });
}

bool TWormPanel::BreedFromRated()
{
    TRatedBreeder breeder;
    for (const TWorm* worm : FWorms) {
        breeder.Genomes.push_back(worm->Gene());
        breeder.Ratings.push_back(worm->Rating());
    }
    breeder.Frozen = FFrozen;
    breeder.Previous = FPrevious;
    std::vector<TRatedChild> children = zw::BreedFromRated(breeder, Breeding(), &FGeneMask);
    if (children.empty())
        return std::any_of(FWorms.begin(), FWorms.end(), [](const TWorm* worm) { return worm->Rating() > 0; });
    // Every new worm takes its genes here, drawing nothing more; the mask
    // keeps the locked genes at the audible worm's values before the step.
    Step([&] {
        const TGene audible = GenomeOf(Worms(FAudible));
        for (TRatedChild& child : children) {
            TWorm* worm = Worms(child.Index);
            ApplyGeneMask(child.Genes, audible, FGeneMask, TGeneFit::Clamp);
            KeepUnheardGenes(child.Genes, worm->Gene(), FHeardGenes);
            worm->SetGene(child.Genes);
            worm->NotifyChanged();
        }
    });
    return true;
}

void TWormPanel::Morph()
{
    Step([this] {
        if (TWorm* audible = Worms(FAudible)) {
            const TGene before = audible->Gene();
            const TMaskedBreeding mask = MaskedBy(before);
            audible->Morph(Worms(FFrozen), &mask);
        }
    });
}

void TWormPanel::SetGeneMask(const TGeneMask& mask)
{
    if (mask == FGeneMask)
        return;
    FGeneMask = mask;
    emit GenesShown();
}

void TWormPanel::SetAudibleGene(int index, uint8_t value)
{
    TWorm* audible = Worms(FAudible);
    if (!audible || index < 0 || index >= audible->Size() || audible->Gene().Data()[index] == value)
        return;
    TGene gene = audible->Gene();
    gene.Data()[index] = value;
    audible->SetGene(gene);
    audible->NotifyChanged();
}

void TWormPanel::BeginOpenStep()
{
    if (!FOpenStep)
        FOpenStep = Snapshot();
}

void TWormPanel::EndOpenStep()
{
    if (!FOpenStep)
        return;
    const TBreederSnapshot before = std::move(*FOpenStep);
    FOpenStep.reset();
    EndStep(before, false);
}

void TWormPanel::Step(const std::function<void()>& change) { RunStep(change, false); }

void TWormPanel::ContinueStep(const std::function<void()>& change) { RunStep(change, true); }

void TWormPanel::RunStep(const std::function<void()>& change, bool continued)
{
    if (FInStep) {
        change();
        return;
    }
    EndOpenStep();
    const TBreederSnapshot before = Snapshot();
    FInStep = true;
    try {
        change();
    } catch (...) {
        // What changed before the failure is a step all the same.
        FInStep = false;
        EndStep(before, continued);
        throw;
    }
    FInStep = false;
    EndStep(before, continued);
}

void TWormPanel::EndStep(const TBreederSnapshot& before, bool continued)
{
    // A rating belongs to the sound it was given to.
    for (int i = 0; i < WormCount(); ++i)
        if (Worms(i)->Rating() > 0 && Worms(i)->Gene() != before.Genome(i))
            Worms(i)->SetRating(0);
    const TBreederSnapshot now = Snapshot();
    if (before.SameGenomes(now) && before.Mask() == now.Mask())
        return;
    if (continued) {
        if (TNotifyEvent handler = FOnStepContinued)
            handler(this);
        return;
    }
    ++FStepCount;
    if (TOnStep handler = FOnStep)
        handler(this, before);
}

TBreederSnapshot TWormPanel::Snapshot() const
{
    std::vector<TGene> genomes;
    genomes.reserve(FWorms.size());
    for (const TWorm* worm : FWorms)
        genomes.push_back(worm->Gene());
    return TBreederSnapshot(genomes, FAudible, FFrozen, Ratings(), FGeneMask);
}

void TWormPanel::Restore(const TBreederSnapshot& snapshot)
{
    ++FStepCount;
    const int audibleBefore = FAudible;
    const TGene heardBefore = GenomeOf(Worms(FAudible));
    const bool maskChanged = snapshot.Mask() != FGeneMask;
    FGeneMask = snapshot.Mask();
    const int count = std::min(WormCount(), snapshot.GenomeCount());
    for (int i = 0; i < count; ++i)
        Worms(i)->SetGene(snapshot.Genome(i));
    const std::vector<uint8_t>& ratings = snapshot.Ratings();
    for (int i = 0; i < std::min(count, static_cast<int>(ratings.size())); ++i)
        Worms(i)->SetRating(std::min<int>(ratings[static_cast<size_t>(i)], kMaxRating));
    SetFrozen(snapshot.Frozen());
    // A worm that becomes audible reports itself; one that stays audible with
    // other genes is reported here.
    SetAudible(snapshot.Audible());
    if (FAudible == audibleBefore && GenomeOf(Worms(FAudible)) != heardBefore)
        NotifyAudible();
    if (maskChanged)
        emit GenesShown();
}

void TWormPanel::NotifyAudible()
{
    if (FAudibleWorm)
        FAudibleWorm->NotifyChanged();
}

int TWormPanel::MovePrev(int index) const
{
    const int n = WormCount();
    return (n + index - 1) % n;
}

int TWormPanel::MoveNext(int index) const
{
    return (index + 1) % WormCount();
}

int TWormPanel::MoveUp(int index) const
{
    const int n = WormCount();
    if (index == 0)
        return n - 1;
    if (index - FColCount >= 0)
        return index - FColCount;
    return index - FColCount + n - 1; // bottom row, one column to the left
}

int TWormPanel::MoveDown(int index) const
{
    const int n = WormCount();
    if (index == n - 1)
        return 0;
    if (index + FColCount < n)
        return index + FColCount;
    return index + FColCount - n + 1; // top row, one column to the right
}

void TWormPanel::AudiblePrev() { if (WormCount() > 0) SetAudible(MovePrev(FAudible)); }
void TWormPanel::AudibleNext() { if (WormCount() > 0) SetAudible(MoveNext(FAudible)); }
void TWormPanel::AudibleUp() { if (WormCount() > 0) SetAudible(MoveUp(FAudible)); }
void TWormPanel::AudibleDown() { if (WormCount() > 0) SetAudible(MoveDown(FAudible)); }
void TWormPanel::FrozenPrev() { if (WormCount() > 0) SetFrozen(MovePrev(FFrozen)); }
void TWormPanel::FrozenNext() { if (WormCount() > 0) SetFrozen(MoveNext(FFrozen)); }
void TWormPanel::FrozenUp() { if (WormCount() > 0) SetFrozen(MoveUp(FFrozen)); }
void TWormPanel::FrozenDown() { if (WormCount() > 0) SetFrozen(MoveDown(FFrozen)); }

void TWormPanel::UpdateWorms()
{
    for (TWorm* worm : FWorms) {
        worm->SetLook(Look());
        worm->SetBreeding(Breeding());
        worm->resize(FWormWidth, FWormHeight);
    }
}

QSize TWormPanel::sizeHint() const
{
    const int width = CheckedAdd(CheckedMul(FWormWidth + FSpacing + 1, FColCount), FSpacing);
    const int height = CheckedAdd(CheckedMul(FWormHeight + FSpacing + 1, FRowCount), FSpacing);
    return QSize(std::max(0, width), std::max(0, height));
}

void TWormPanel::ArrangeWorms()
{
    resize(sizeHint());
    updateGeometry();
    const int placed = FColCount > 0 ? WormCount() : 0;
    for (int k = 0; k < placed; ++k) {
        TWorm* worm = FWorms[static_cast<size_t>(k)];
        const int col = k % FColCount;
        const int row = k / FColCount;
        worm->move(FSpacing + (FSpacing + worm->width()) * col,
                   FSpacing + (FSpacing + worm->height()) * row);
    }
}

void TWormPanel::AdjustWormCount()
{
    const int wanted = std::max(0, CheckedMul(FRowCount, FColCount));
    while (WormCount() < wanted)
        AddWorm();
    while (WormCount() > wanted)
        RemoveLastWorm();
    ArrangeWorms();
}

void TWormPanel::AddWorm()
{
    auto* worm = new TWorm(this);
    worm->SetHeardGenes(FHeardGenes);
    FWorms.push_back(worm);
    worm->SetOnAudible([this](TWorm* sender) { WormAudible(sender); });
    worm->SetOnFrozen([this](TWorm* sender) { WormFrozen(sender); });
    RenumberWorms();
    worm->SetOnGenomeChanged([this](TWorm*, const TGene& gene) { WormGenomeChanged(gene); });
    worm->show();
}

void TWormPanel::RemoveLastWorm()
{
    TWorm* worm = FWorms.back();
    FWorms.pop_back();
    delete worm;
    RenumberWorms();
    // The indexes follow their worms; a removed worm leaves no index behind.
    FAudible = FAudibleWorm ? FAudibleWorm->Tag() : -1;
    FFrozen = FFrozenWorm ? FFrozenWorm->Tag() : -1;
    if (FPrevious >= WormCount())
        FPrevious = -1;
}

void TWormPanel::RenumberWorms()
{
    for (int k = 0; k < WormCount(); ++k)
        FWorms[static_cast<size_t>(k)]->SetTag(k);
}

void TWormPanel::WormAudible(TWorm* worm)
{
    if (FAudibleWorm && FAudibleWorm != worm)
        SetPrevious(FAudibleWorm->Tag());
    FAudibleWorm = worm;
    FAudible = worm->Tag();
    if (FOnAudible) {
        TNotifyEvent handler = FOnAudible;
        handler(this);
    }
    NotifyAudible();
}

void TWormPanel::WormFrozen(TWorm* worm)
{
    FFrozenWorm = worm;
    FFrozen = worm->Tag();
    if (FOnFrozen) {
        TNotifyEvent handler = FOnFrozen;
        handler(this);
    }
}

void TWormPanel::WormGenomeChanged(const TGene& gene)
{
    // Views first: a listener below may fail (a broken rule).
    emit GenesShown();
    if (FOnWormChanged) {
        TOnWormChanged handler = FOnWormChanged;
        handler(this, gene);
    }
}

void TWormPanel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawText(contentsRect(), Qt::AlignCenter, QStringLiteral("."));
}

} // namespace zw
