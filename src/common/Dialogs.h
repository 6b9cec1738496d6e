#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every message box, question, input box, file dialog and the error display
// go through this one seam, so tests answer them without modal windows.
namespace zw {

enum class TQueryAnswer { Yes, No, Cancel };

struct TFileDialogOptions {
    QString Title;
    // Pairs of description and pattern separated by '|', e.g.
    // "gene files (*.gen)|*.gen|all files (*.*)|*.*".
    QString Filter;
    QString DefaultExtension; // without the dot
    QString InitialDir;
    QString FileName;
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // A plain message box.
    virtual void ShowMessage(const QString& text) = 0;
    // The application's standard error box.
    virtual void ShowError(const QString& text) = 0;
    // An information box with the buttons Yes, No and Cancel.
    virtual TQueryAnswer AskYesNoCancel(const QString& text) = 0;
    // A question with the buttons Yes and No (the default); true for Yes.
    virtual bool Confirm(const QString& text) = 0;
    // An input box; `value` holds the default and receives the answer. False when cancelled.
    virtual bool InputQuery(const QString& title, const QString& prompt, QString& value) = 0;
    // File dialogs; an empty result means the user cancelled. SaveFileName
    // does not ask about an existing file: AskSaveFileName does.
    virtual QString OpenFileName(const TFileDialogOptions& options) = 0;
    virtual QString SaveFileName(const TFileDialogOptions& options) = 0;
};

// The dialogs in use: the desktop's own unless a test installed others.
IDialogs& Dialogs();
// Installs `dialogs` (not owned) for the tests; nullptr goes back to the desktop's.
void SetDialogs(IDialogs* dialogs);

// The save dialog of the dialogs in use, then a question before an existing
// file is replaced, whatever was typed: the default extension is added after
// the dialog, so its own check cannot see that name. "No" shows the dialog
// again; an empty result means the user cancelled.
QString AskSaveFileName(TFileDialogOptions options);

// The desktop's dialogs, parented to the active window.
class TQtDialogs : public IDialogs {
public:
    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    TQueryAnswer AskYesNoCancel(const QString& text) override;
    bool Confirm(const QString& text) override;
    bool InputQuery(const QString& title, const QString& prompt, QString& value) override;
    QString OpenFileName(const TFileDialogOptions& options) override;
    QString SaveFileName(const TFileDialogOptions& options) override;

    // "desc|pattern|desc|pattern" as a toolkit filter ("desc;;desc").
    static QString ToolkitFilter(const QString& filter);
    // Appends the default extension when the chosen name has none.
    static QString WithDefaultExtension(const QString& fileName, const QString& extension);
};

// Caps the font of a window at 8 points: its controls are laid out in
// fixed sizes made for a small dialog font.
void UseSmallDialogFont(QWidget& window);

// Shows the failures of guarded actions (RunGuarded) in the error box of the
// dialogs in use. The program start and the widget tests' start install it.
void ReportErrorsInDialogs();

} // namespace zw
