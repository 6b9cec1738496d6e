#include "ui/ExportActions.h"

#include "app/WormTake.h"
#include "audio/AudioEngine.h"
#include "audio/Lv2RenderHost.h"
#include "audio/SynthInstrument.h"
#include "common/Exceptions.h"
#include "common/ProgramFiles.h"
#include "rules/FrmTranslat.h"
#include "ui/AuditionControl.h"
#include "ui/BreederTabs.h"
#include "ui/Forms.h"
#include "ui/InstrumentBreeders.h"
#include "ui/MidiDevices.h"
#include "ui/SoundControl.h"
#include "ui/StatusLine.h"
#include "worms/GeneBox.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

#include <QApplication>
#include <QFile>

namespace zw {
namespace {


const char* const kGeneFileFilter = "gene files (*.gen)|*.gen|all files (*.*)|*.*";

const TGene& AudibleGenome(const TWormPanel& panel)
{
    if (panel.Audible() < 0)
        throw Exception("Breeder " + std::string(1, static_cast<char>('A' + panel.Tag())) + " has no audible worm.");
    return panel.Worms(panel.Audible())->Gene();
}

// Asks where an export goes, starting where the last one of its kind went
// (first in the folder the program writes to); empty when cancelled.
QString AskExportFile(TFileDialogOptions& dialog, const QString& caption, const QString& filter,
                      const QString& extension)
{
    if (dialog.InitialDir.isEmpty())
        dialog = {caption, filter, extension, QString::fromStdString(WriteFolder()), QString()};
    const QString fileName = AskSaveFileName(dialog);
    if (!fileName.isEmpty())
        dialog.FileName = fileName;
    return fileName;
}

} // namespace

TExportActions::TExportActions(const TBreederTabs& breeders, const TMidiDevices& midi, const TSoundControl& sound,
                               const TAuditionControl& audition, TStatusLine& status, std::function<void()> loadRules)
    : FBreeders(breeders), FMidi(midi), FSound(sound), FAudition(audition), FStatus(status),
      FLoadRules(std::move(loadRules))
{
    // Gene files go where the program may write: beside it, or the user's folder.
    const QString geneFolder = QString::fromStdString(WriteFolder());
    FOpenDialogGenes = {"Load genes from", kGeneFileFilter, "gen", geneFolder, QString()};
    FSaveDialogGenes = {"Save gene bank as", kGeneFileFilter, "gen", geneFolder, QString()};
}

TWormTake TExportActions::RulesTake(TChannel channel, const TGene& genome)
{
    if (!FormTranslate)
        throw Exception("No translation rules are loaded.");
    if (!FormTranslate->FileNameAssigned())
        FLoadRules();
    return TWormTake(FormTranslate->Substitution(), FMidi.OutChannel(channel),
                     FSound.Synth().Programs[static_cast<size_t>(channel)], genome);
}

// The one place an export's instrument is chosen: the breeder's LV2
// instrument while it plays one, else the built-in synthesizer.
std::unique_ptr<TAudioInstrument> TExportActions::ExportInstrument(TChannel channel, const TGene& genome)
{
    if (FSound.PlaysInstrument(channel))
        return TLv2RenderHost::OneRender(FSound.Instruments()[static_cast<size_t>(channel)], genome.Data(),
                                         static_cast<size_t>(genome.Size()));
    return std::make_unique<TSynthInstrument>(FSound.Synth());
}

void TExportActions::ExportSoundClick()
{
    QString length = QString::number(FExportSeconds);
    if (!Dialogs().InputQuery("Export sound", "Length in seconds (at most 60)", length))
        return;
    const std::optional<double> seconds = ExportSeconds(length);
    if (!seconds) {
        Dialogs().ShowMessage(QString("\"%1\" is no length: give the seconds, above 0 and at most 60.").arg(length));
        return;
    }
    FExportSeconds = *seconds;
    const TChannel channel = FBreeders.Shown()->Tag();
    const TGene genome = AudibleGenome(*FBreeders.Shown());
    // An LV2 instrument takes the genes as its parameters, as while it plays.
    const TWormTake take =
        FSound.PlaysInstrument(channel) ? TWormTake(FMidi.OutChannel(channel)) : RulesTake(channel, genome);
    const QString fileName =
        AskExportFile(FExportSoundDialog, "Export sound as", "WAV files (*.wav)|*.wav|all files (*.*)|*.*", "wav");
    if (fileName.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        take.SaveSound(ExportInstrument(channel, genome), FAudition.Settings().Phrase(), *seconds,
                       QFile::encodeName(fileName).toStdString());
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    FStatus.Show(TStatusTopic::Hint, QString("Sound exported to %1").arg(fileName));
}

void TExportActions::ExportMidiClick()
{
    const TWormTake take = RulesTake(FBreeders.Shown()->Tag(), AudibleGenome(*FBreeders.Shown()));
    const QString fileName =
        AskExportFile(FExportMidiDialog, "Export MIDI as", "MIDI files (*.mid)|*.mid|all files (*.*)|*.*", "mid");
    if (fileName.isEmpty())
        return;
    take.SaveMidi(FAudition.Settings().Phrase(), QFile::encodeName(fileName).toStdString());
    FStatus.Show(TStatusTopic::Hint, QString("MIDI exported to %1").arg(fileName));
}

void TExportActions::SaveLv2PresetClick() { AskSaveLv2Preset(FSound.InstrumentBreeders(), FBreeders.Shown()->Tag()); }

// Gene bank ------------------------------------------------------------------

void TExportActions::SetGeneBox(TGeneBox* bank)
{
    FGeneBox = bank;
    FGeneBox->SetOnGetGeneName([this](TGeneBox* sender, const TGene&, QString& name) { AskGeneName(sender, name); });
}

void TExportActions::SaveGenes()
{
    const QString fileName = AskSaveFileName(FSaveDialogGenes);
    if (fileName.isEmpty())
        return;
    FSaveDialogGenes.FileName = fileName;
    FGeneBox->SaveToFile(fileName);
}

void TExportActions::LoadGenes()
{
    const QString fileName = Dialogs().OpenFileName(FOpenDialogGenes);
    if (fileName.isEmpty())
        return;
    FOpenDialogGenes.FileName = fileName;
    FGeneBox->LoadFromFile(fileName);
}

void TExportActions::ClearGenes() { FGeneBox->Clear(); }

void TExportActions::AskGeneName(TGeneBox* bank, QString& name)
{
    if (name.isEmpty())
        name = QString::asprintf("Gene%d", bank->Count());
    QString answer = name;
    if (Dialogs().InputQuery("Supply a name for this gene", "Name", answer))
        name = answer;
    // A gene file splits names at its separators; store what will come back.
    const QString storable = TGeneBox::StorableName(name);
    if (!storable.isEmpty() && storable != name)
        Dialogs().ShowMessage(
            QString("A gene file cannot keep the name \"%1\"; the gene is banked as \"%2\".").arg(name, storable));
    name = storable;
}

} // namespace zw
