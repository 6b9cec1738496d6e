#pragma once

#include "app/ChannelSet.h"
#include "common/Dialogs.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace zw {

class TAudioInstrument;
class TAuditionControl;
class TGene;
class TGeneBox;
class TMidiDevices;
class TSoundControl;
class TStatusLine;
class TWormTake;
struct TBreederTabs;

// The main window's files written and read on request: the exports of the
// audible worm of the breeder shown with the audition phrase (File -> Export
// sound ..., a WAV file through its instrument for a length asked first;
// Export MIDI ..., a Standard MIDI File), what its LV2 instrument plays saved
// as a preset, and the gene bank's files (F2, F3, F4) with the name asked for
// each banked genome. It owns the file dialogs' last choices and the export
// length; TWormTake renders and writes.
class TExportActions : public QObject {
    Q_OBJECT

public:
    TExportActions(const TBreederTabs& breeders, const TMidiDevices& midi, const TSoundControl& sound,
                   const TAuditionControl& audition, TStatusLine& status, std::function<void()> loadRules);

    void ExportSoundClick();
    void ExportMidiClick();
    void SaveLv2PresetClick();

    // The gene bank's file actions, through the file dialogs.
    void SetGeneBox(TGeneBox* bank);
    void SaveGenes();
    void LoadGenes();
    void ClearGenes();
    // Asks the name of a genome being banked (the bank's OnGetGeneName).
    void AskGeneName(TGeneBox* bank, QString& name);
    const TFileDialogOptions& OpenDialogGenes() const { return FOpenDialogGenes; }
    const TFileDialogOptions& SaveDialogGenes() const { return FSaveDialogGenes; }

private:
    // The genome of `channel` through its rules (raises as they do), and the
    // instrument that renders it.
    TWormTake RulesTake(TChannel channel, const TGene& genome);
    std::unique_ptr<TAudioInstrument> ExportInstrument(TChannel channel, const TGene& genome);

    const TBreederTabs& FBreeders;
    const TMidiDevices& FMidi;
    const TSoundControl& FSound;
    const TAuditionControl& FAudition;
    TStatusLine& FStatus;
    std::function<void()> FLoadRules;
    TGeneBox* FGeneBox = nullptr;
    TFileDialogOptions FOpenDialogGenes;
    TFileDialogOptions FSaveDialogGenes;
    TFileDialogOptions FExportSoundDialog;
    TFileDialogOptions FExportMidiDialog;
    double FExportSeconds = 4;
};

} // namespace zw
