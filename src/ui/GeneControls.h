#pragma once

#include "app/ChannelSet.h"
#include "app/MainSettings.h"

#include <QObject>

#include <array>

class QAction;
class QMenu;
class QScrollArea;
class QWidget;

namespace zw {

class TGeneView;
class TMidiDevices;
class TSoundControl;
struct TBreederTabs;

// The main window's genes: the gene view beside the breeders (object name
// "GeneView", F6 shows and hides it) following the breeder shown, what each
// gene stands for there (the port of the breeder's LV2 instrument, or what
// the rules say of it), its menu entries, the genes a breeder's instrument
// listens to (the others are neither bred nor drawn), and the locks the rules
// set by default in every breeder without an instrument whose locks the
// settings did not name (once, when the rules first load). Each breeder keeps
// its own locks and ranges; this owns the view, its scroll area and menu
// entry, and the locks still due.
class TGeneControls : public QObject {
    Q_OBJECT

public:
    TGeneControls(const TBreederTabs& breeders, const TMidiDevices& midi, const TSoundControl& sound,
                  QWidget& window);

    QWidget* CreateView();
    void AddMenu(QMenu* menu);

    TGeneView* View() const { return FView; }
    bool Shown() const;
    void SetShown(bool shown);
    // Hands the gene view what each gene of the breeder shown stands for.
    void UpdateGeneInfo();
    void ApplyDefaultLocks();

    void ApplySettings(const TMainSettings& s);
    void SaveSettings(TMainSettings& s) const;

private:
    void InstrumentsChanged();
    QString ValueText(int gene, int value) const;

    const TBreederTabs& FBreeders;
    const TMidiDevices& FMidi;
    const TSoundControl& FSound;
    QWidget& FWindow;
    TGeneView* FView = nullptr;
    QScrollArea* FArea = nullptr;
    QAction* FMenu = nullptr;
    std::array<bool, kChannelCount> FDefaultLocksDue{};
};

} // namespace zw
