#pragma once

#include "common/Dialogs.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace zw {

// Scripted answers and a record of everything shown, for tests.
class TScriptedDialogs : public IDialogs {
public:
    void ShowMessage(const QString& text) override { Messages.push_back(text); }
    void ShowError(const QString& text) override { Errors.push_back(text); }
    TQueryAnswer AskYesNoCancel(const QString& text) override;
    // Takes the next of Answers: Yes confirms.
    bool Confirm(const QString& text) override;
    bool InputQuery(const QString& title, const QString& prompt, QString& value) override;
    QString OpenFileName(const TFileDialogOptions& options) override;
    QString SaveFileName(const TFileDialogOptions& options) override;

    // What was shown, in order.
    QStringList Messages;
    QStringList Errors;
    QStringList Questions;
    std::vector<TFileDialogOptions> FileDialogs;
    // The next answers; when a queue is empty the user cancels.
    std::vector<TQueryAnswer> Answers;
    std::vector<std::pair<bool, QString>> Inputs; // accepted?, text
    QStringList FileNames;
};

// Installs a scripted set of dialogs for the lifetime of the object.
class TScopedDialogs {
public:
    explicit TScopedDialogs(IDialogs& dialogs) { SetDialogs(&dialogs); }
    ~TScopedDialogs() { SetDialogs(nullptr); }
    TScopedDialogs(const TScopedDialogs&) = delete;
    TScopedDialogs& operator=(const TScopedDialogs&) = delete;
};

} // namespace zw
