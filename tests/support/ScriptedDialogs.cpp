#include "support/ScriptedDialogs.h"

namespace zw {
namespace {

template <typename T>
bool TakeFirst(std::vector<T>& queue, T& value)
{
    if (queue.empty())
        return false;
    value = queue.front();
    queue.erase(queue.begin());
    return true;
}

} // namespace

TQueryAnswer TScriptedDialogs::AskYesNoCancel(const QString& text)
{
    Questions.push_back(text);
    TQueryAnswer answer = TQueryAnswer::Cancel;
    TakeFirst(Answers, answer);
    return answer;
}

bool TScriptedDialogs::Confirm(const QString& text)
{
    return AskYesNoCancel(text) == TQueryAnswer::Yes;
}

bool TScriptedDialogs::InputQuery(const QString& title, const QString& prompt, QString& value)
{
    Questions.push_back(title + ": " + prompt + " [" + value + "]");
    std::pair<bool, QString> input{false, QString()};
    if (!TakeFirst(Inputs, input) || !input.first)
        return false;
    value = input.second;
    return true;
}

QString TScriptedDialogs::OpenFileName(const TFileDialogOptions& options)
{
    FileDialogs.push_back(options);
    QString name;
    if (!FileNames.isEmpty())
        name = FileNames.takeFirst();
    return name;
}

QString TScriptedDialogs::SaveFileName(const TFileDialogOptions& options)
{
    FileDialogs.push_back(options);
    QString name;
    if (!FileNames.isEmpty())
        name = TQtDialogs::WithDefaultExtension(FileNames.takeFirst(), options.DefaultExtension);
    return name;
}

} // namespace zw
