// Program start: the windows in their creation order, then the message loop.
#include "ui/Application.h"
#include "ui/CommandLine.h"
#include "app/ExitSignals.h"
#include "ui/Forms.h"
#include "ui/FrmAbout.h"
#include "ui/FrmMain.h"
#include "ui/GeneControls.h"
#include "common/Dialogs.h"
#include "common/Globals.h"
#include "common/Guard.h"
#include "common/SafeFile.h"
#include "midi/FrmMidDlg.h"
#include "rules/FrmRuleHelp.h"
#include "rules/FrmTranslat.h"

#include <QIcon>

#include <cstdio>
#include <memory>

namespace {

// Sets a window reference for the lifetime of the window it names.
template <typename T>
class TFormReference {
public:
    TFormReference(T*& reference, std::unique_ptr<T> window) : FReference(reference), FWindow(std::move(window))
    {
        FReference = FWindow.get();
    }
    ~TFormReference() { FReference = nullptr; }
    TFormReference(const TFormReference&) = delete;
    TFormReference& operator=(const TFormReference&) = delete;
    T* operator->() const { return FWindow.get(); }
    T* get() const { return FWindow.get(); }

private:
    T*& FReference;
    std::unique_ptr<T> FWindow;
};

int Run(zw::TApplication& application)
{
    using namespace zw;
    SetProgramPath(QCoreApplication::applicationDirPath().toStdString());
    // From the start: a signal that comes while the windows are made waits for the loop.
    TExitSignals exitSignals;
    // Built in, so every window shows the worm wherever the program lies.
    application.setWindowIcon(QIcon(QStringLiteral(":/icons/org.zwirbels.Zwirbels.svg")));
    // The main window's worms draw from the generator before anything seeds it,
    // so every start shows the same first population.
    TFormReference formMain(FormMain, std::make_unique<TFormMain>());
    // Creating the about window seeds the generator, the program's one seeding.
    TFormReference formAbout(FormAbout, std::make_unique<TFormAbout>());
    TFormReference formMidiDialog(FormMidiDialog, std::make_unique<TFormMidiDialog>());
    TFormReference formRuleHelp(FormRuleHelp, std::make_unique<TFormRuleHelp>());
    // Until the rules editor and its rule table exist, nothing is translated or sent.
    TFormReference formTranslate(FormTranslate, std::make_unique<TFormTranslate>());
    formTranslate->SetSyntaxHelpWindow(formRuleHelp.get());
    // The editor's Alt+X ends the program the way the main window's does.
    formTranslate->OnExitRequested = [main = formMain.get()] { main->close(); };
    formTranslate->OnRulesChanged = [main = formMain.get()] { main->Genes().UpdateGeneInfo(); };
    QObject::connect(formMain.get(), &TFormMain::Closed, &application, &QCoreApplication::quit);
    QObject::connect(&exitSignals, &TExitSignals::Received, formMain.get(), &TFormMain::CloseWithoutAsking);
    formMain->show();
    return application.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto answer = zw::CommandLineAnswer(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    // Under a file-size limit, a save then fails as an ordinary write error.
    zw::IgnoreFileSizeSignal();
    zw::TApplication application(argc, argv);
    zw::ReportErrorsInDialogs();
    int result = 1;
    // A window that cannot even be built is reported, never thrown through Qt.
    zw::RunGuarded([&] { result = Run(application); });
    return result;
}
