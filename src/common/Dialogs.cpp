#include "common/Dialogs.h"

#include "common/Guard.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QInputDialog>
#include <QMessageBox>

namespace zw {
namespace {

IDialogs*& InstalledDialogs()
{
    static IDialogs* dialogs = nullptr;
    return dialogs;
}

QWidget* DialogParent() { return QApplication::activeWindow(); }

// The error box as the reporter of guarded actions.
class TDialogErrorReporter : public IErrorReporter {
public:
    void ReportError(const std::string& message) override
    {
        Dialogs().ShowError(QString::fromLocal8Bit(message.data(), static_cast<qsizetype>(message.size())));
    }
};

} // namespace

void UseSmallDialogFont(QWidget& window)
{
    QFont smallFont = window.font();
    if (smallFont.pointSizeF() > 8.0)
        smallFont.setPointSizeF(8.0);
    window.setFont(smallFont);
}

IDialogs& Dialogs()
{
    static TQtDialogs desktop;
    IDialogs* installed = InstalledDialogs();
    return installed ? *installed : desktop;
}

void SetDialogs(IDialogs* dialogs) { InstalledDialogs() = dialogs; }

QString AskSaveFileName(TFileDialogOptions options)
{
    for (;;) {
        const QString name = Dialogs().SaveFileName(options);
        if (name.isEmpty() || !QFileInfo::exists(name))
            return name;
        if (Dialogs().Confirm(QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(name)))
            return name;
        options.FileName = name;
    }
}

void ReportErrorsInDialogs()
{
    static TDialogErrorReporter errorBox;
    SetErrorReporter(&errorBox);
}

void TQtDialogs::ShowMessage(const QString& text)
{
    QMessageBox::information(DialogParent(), QApplication::applicationDisplayName(), text);
}

void TQtDialogs::ShowError(const QString& text)
{
    QMessageBox::critical(DialogParent(), QApplication::applicationDisplayName(), text);
}

TQueryAnswer TQtDialogs::AskYesNoCancel(const QString& text)
{
    const auto answer = QMessageBox::information(DialogParent(), QApplication::applicationDisplayName(),
                                                 text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                                 QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return TQueryAnswer::Yes;
    if (answer == QMessageBox::No)
        return TQueryAnswer::No;
    return TQueryAnswer::Cancel;
}

bool TQtDialogs::Confirm(const QString& text)
{
    return QMessageBox::question(DialogParent(), QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool TQtDialogs::InputQuery(const QString& title, const QString& prompt, QString& value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(DialogParent(), title, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}

QString TQtDialogs::ToolkitFilter(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        filters << (parts[i].contains('(') ? parts[i] : parts[i] + " (" + patterns + ")");
    }
    return filters.join(";;");
}

QString TQtDialogs::WithDefaultExtension(const QString& fileName, const QString& extension)
{
    if (fileName.isEmpty() || extension.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    return fileName + '.' + extension;
}

QString TQtDialogs::OpenFileName(const TFileDialogOptions& options)
{
    QString start = options.InitialDir;
    if (!options.FileName.isEmpty())
        start = QFileInfo(options.FileName).isAbsolute() ? options.FileName : start + options.FileName;
    QString name = QFileDialog::getOpenFileName(DialogParent(), options.Title, start, ToolkitFilter(options.Filter));
    if (!name.isEmpty() && !QFileInfo::exists(name))
        name = WithDefaultExtension(name, options.DefaultExtension);
    return name;
}

QString TQtDialogs::SaveFileName(const TFileDialogOptions& options)
{
    QString start = options.InitialDir;
    if (!options.FileName.isEmpty())
        start = QFileInfo(options.FileName).isAbsolute() ? options.FileName : start + options.FileName;
    // The toolkit's dialog needs an existing folder. Its question about an
    // existing file would miss the extension added here: AskSaveFileName asks.
    return WithDefaultExtension(QFileDialog::getSaveFileName(DialogParent(), options.Title, start,
                                                             ToolkitFilter(options.Filter), nullptr,
                                                             QFileDialog::DontConfirmOverwrite),
                                options.DefaultExtension);
}

} // namespace zw
