#pragma once

#include "common/Checked.h"
#include "worms/Breeding.h"

#include <QColor>

namespace zw {

// How a worm is drawn.
struct TWormLook {
    uint8_t Clearance = 10; // pixels between the border and the path
    QColor BackColor{255, 255, 255};
    QColor BorderColorNormal{128, 128, 128};
    QColor BorderColorAudible{255, 255, 0};
    QColor BorderColorFrozen{0, 0, 255};
    QColor BorderColorBoth{0, 255, 0};
    QColor PenColor{0, 0, 0};
    bool Transparent = false; // stored only; the drawing does not consult it
    bool DrawLines = true;    // lines along the path, else dots on its inner points

    bool operator==(const TWormLook&) const = default;
};

// The look and the breeding parameters as properties of a widget: a worm, or
// a panel that hands them on to its worms. A setter raises ERangeError for a
// value out of range, does nothing when the value is unchanged, and otherwise
// tells the widget through LookChanged / BreedingChanged.
//
// A layer between the widget and its toolkit base rather than a second base:
// the properties then sit at the widget's own address, as member pointers to
// them expect.
template <typename TWidget>
class TWormSettings : public TWidget {
public:
    using TWidget::TWidget;

    const TWormLook& Look() const { return FLook; }
    void SetLook(const TWormLook& look)
    {
        if (look == FLook)
            return;
        FLook = look;
        LookChanged();
    }
    const TBreedingParams& Breeding() const { return FBreeding; }
    void SetBreeding(const TBreedingParams& params)
    {
        if (params == FBreeding)
            return;
        FBreeding = params;
        BreedingChanged();
    }

    int Clearance() const { return FLook.Clearance; } // 0..255
    void SetClearance(int value) { SetLookField(&TWormLook::Clearance, CheckedByte(value)); }
    QColor BackColor() const { return FLook.BackColor; }
    void SetBackColor(const QColor& value) { SetLookField(&TWormLook::BackColor, value); }
    QColor BorderColorNormal() const { return FLook.BorderColorNormal; }
    void SetBorderColorNormal(const QColor& value) { SetLookField(&TWormLook::BorderColorNormal, value); }
    QColor BorderColorAudible() const { return FLook.BorderColorAudible; }
    void SetBorderColorAudible(const QColor& value) { SetLookField(&TWormLook::BorderColorAudible, value); }
    QColor BorderColorFrozen() const { return FLook.BorderColorFrozen; }
    void SetBorderColorFrozen(const QColor& value) { SetLookField(&TWormLook::BorderColorFrozen, value); }
    QColor BorderColorBoth() const { return FLook.BorderColorBoth; }
    void SetBorderColorBoth(const QColor& value) { SetLookField(&TWormLook::BorderColorBoth, value); }
    QColor PenColor() const { return FLook.PenColor; }
    void SetPenColor(const QColor& value) { SetLookField(&TWormLook::PenColor, value); }
    bool Transparent() const { return FLook.Transparent; }
    void SetTransparent(bool value) { SetLookField(&TWormLook::Transparent, value); }
    bool DrawLines() const { return FLook.DrawLines; }
    void SetDrawLines(bool value) { SetLookField(&TWormLook::DrawLines, value); }

    int CrossOverProbability() const { return FBreeding.CrossOverProbability; } // 0..100
    void SetCrossOverProbability(int value)
    {
        SetBreedingField(&TBreedingParams::CrossOverProbability, CheckedPercentage(value));
    }
    int MutationProbability() const { return FBreeding.MutationProbability; } // 0..100
    void SetMutationProbability(int value)
    {
        SetBreedingField(&TBreedingParams::MutationProbability, CheckedPercentage(value));
    }
    int MutationRange() const { return FBreeding.MutationRange; } // 0..255
    void SetMutationRange(int value) { SetBreedingField(&TBreedingParams::MutationRange, CheckedByte(value)); }
    int MorphPercentage() const { return FBreeding.MorphPercentage; } // 0..100
    void SetMorphPercentage(int value)
    {
        SetBreedingField(&TBreedingParams::MorphPercentage, CheckedPercentage(value));
    }

protected:
    // Called after a change, the new values in place.
    virtual void LookChanged() = 0;
    virtual void BreedingChanged() = 0;

private:
    template <typename T>
    void SetLookField(T TWormLook::*field, const T& value)
    {
        TWormLook look = FLook;
        look.*field = value;
        SetLook(look);
    }
    template <typename T>
    void SetBreedingField(T TBreedingParams::*field, const T& value)
    {
        TBreedingParams params = FBreeding;
        params.*field = value;
        SetBreeding(params);
    }

    TWormLook FLook;
    TBreedingParams FBreeding;
};

} // namespace zw
