// The main window's exports: the audible worm of the breeder shown, as a WAV
// file through its instrument or as a Standard MIDI File. TWormTake renders
// and writes; this only asks and wires.
#include "app/FrmMain.h"
#include "app/Forms.h"
#include "app/StatusLine.h"
#include "app/WormTake.h"
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

} // namespace

TWormTake TFormMain::AudibleTake()
{
    const TWormPanel* panel = CurrentPanel();
    const TChannel channel = panel->Tag();
    if (panel->Audible() < 0)
        throw Exception("Breeder " + std::string(1, static_cast<char>('A' + channel)) + " has no audible worm.");
    if (!FormTranslate)
        throw Exception("No translation rules are loaded.");
    if (!FormTranslate->FileNameAssigned())
        LoadTranslations();
    const auto i = static_cast<size_t>(channel);
    return TWormTake(FormTranslate->Substitution(), FOutChannels[i], FSynthSettings.Programs[i],
                     panel->Worms(panel->Audible())->Gene());
}

// The one place an export's instrument is chosen.
std::unique_ptr<TAudioInstrument> TFormMain::ExportInstrument(TChannel)
{
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
    const TWormTake take = AudibleTake();
    if (FExportSoundDialog.InitialDir.isEmpty())
        FExportSoundDialog = {"Export sound as", "WAV files (*.wav)|*.wav|all files (*.*)|*.*", "wav",
                              QString::fromStdString(WriteFolder()), QString()};
    const QString fileName = AskSaveFileName(FExportSoundDialog);
    if (fileName.isEmpty())
        return;
    FExportSoundDialog.FileName = fileName;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        take.SaveSound(ExportInstrument(CurrentPanel()->Tag()), FAudition.Phrase(), seconds,
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
    const TWormTake take = AudibleTake();
    if (FExportMidiDialog.InitialDir.isEmpty())
        FExportMidiDialog = {"Export MIDI as", "MIDI files (*.mid)|*.mid|all files (*.*)|*.*", "mid",
                             QString::fromStdString(WriteFolder()), QString()};
    const QString fileName = AskSaveFileName(FExportMidiDialog);
    if (fileName.isEmpty())
        return;
    FExportMidiDialog.FileName = fileName;
    take.SaveMidi(FAudition.Phrase(), QFile::encodeName(fileName).toStdString());
    FStatusLine->Show(TStatusTopic::Hint, QString("MIDI exported to %1").arg(fileName));
}

} // namespace zw
