// The main window's exports: the audible worm of the breeder shown, as a WAV
// file through its instrument or as a Standard MIDI File. TWormTake renders
// and writes; this only asks and wires.
#include "app/FrmMain.h"
#include "app/Forms.h"
#include "app/InstrumentBreeders.h"
#include "app/StatusLine.h"
#include "app/WormTake.h"
#include "audio/AudioEngine.h"
#include "audio/Lv2RenderHost.h"
#include "audio/SynthInstrument.h"
#include "common/Exceptions.h"
#include "common/ProgramFiles.h"
#include "rules/FrmTranslat.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

#include <QApplication>
#include <QFile>

namespace zw {
namespace {

// Longer takes would keep the window busy for seconds.
constexpr double kMaxExportSeconds = 60;

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

TWormTake TFormMain::RulesTake(TChannel channel, const TGene& genome)
{
    if (!FormTranslate)
        throw Exception("No translation rules are loaded.");
    if (!FormTranslate->FileNameAssigned())
        LoadTranslations();
    const auto i = static_cast<size_t>(channel);
    return TWormTake(FormTranslate->Substitution(), FOutChannels[i], FSynthSettings.Programs[i], genome);
}

// The one place an export's instrument is chosen: the breeder's LV2
// instrument while it plays one, else the built-in synthesizer.
std::unique_ptr<TAudioInstrument> TFormMain::ExportInstrument(TChannel channel, const TGene& genome)
{
    if (FInstruments && FInstruments->Plays(channel)) {
        return TLv2RenderHost::OneRender(FInstrumentUris[static_cast<size_t>(channel)], genome.Data(),
                                         static_cast<size_t>(genome.Size()));
    }
    return std::make_unique<TSynthInstrument>(FSynthSettings);
}

void TFormMain::ExportSoundClick()
{
    QString length = QString::number(FExportSeconds);
    if (!Dialogs().InputQuery("Export sound", "Length in seconds (at most 60)", length))
        return;
    bool number = false;
    const double seconds = length.trimmed().toDouble(&number);
    if (!number || !(seconds > 0) || seconds > kMaxExportSeconds) {
        Dialogs().ShowMessage(QString("\"%1\" is no length: give the seconds, above 0 and at most 60.").arg(length));
        return;
    }
    FExportSeconds = seconds;
    const TChannel channel = CurrentPanel()->Tag();
    const TGene genome = AudibleGenome(*CurrentPanel());
    // An LV2 instrument takes the genes as its parameters, as while it plays.
    const TWormTake take = FInstruments && FInstruments->Plays(channel)
                               ? TWormTake(FOutChannels[static_cast<size_t>(channel)])
                               : RulesTake(channel, genome);
    const QString fileName =
        AskExportFile(FExportSoundDialog, "Export sound as", "WAV files (*.wav)|*.wav|all files (*.*)|*.*", "wav");
    if (fileName.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        take.SaveSound(ExportInstrument(channel, genome), FAudition.Phrase(), seconds,
                       QFile::encodeName(fileName).toStdString());
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    FStatusLine->Show(TStatusTopic::Hint, QString("Sound exported to %1").arg(fileName));
}

void TFormMain::ExportMidiClick()
{
    const TWormTake take = RulesTake(CurrentPanel()->Tag(), AudibleGenome(*CurrentPanel()));
    const QString fileName =
        AskExportFile(FExportMidiDialog, "Export MIDI as", "MIDI files (*.mid)|*.mid|all files (*.*)|*.*", "mid");
    if (fileName.isEmpty())
        return;
    take.SaveMidi(FAudition.Phrase(), QFile::encodeName(fileName).toStdString());
    FStatusLine->Show(TStatusTopic::Hint, QString("MIDI exported to %1").arg(fileName));
}

} // namespace zw
