#include "rules/FrmRuleHelp.h"

#include "common/Dialogs.h"
#include "common/Exceptions.h"
#include "common/ProgramFiles.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace zw {

TFormRuleHelp::TFormRuleHelp(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , FMemo1(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("FormRuleHelp"));
    setWindowTitle(QStringLiteral("Rule syntax help"));
    resize(598, 439);

    FMemo1->setObjectName(QStringLiteral("Memo1"));
    FMemo1->setReadOnly(true);
    FMemo1->setMinimumSize(590, 410);
    FMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FMemo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    FMemo1->setFont(font);
    // A single blank until the file has been read, and for good when it cannot be.
    FMemo1->setPlainText(QStringLiteral(" "));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FMemo1);

    LoadHelpText();
}

void TFormRuleHelp::LoadHelpText()
{
    const std::string fileName = DataFileName("RuleHelp.txt");
    std::string contents;
    try {
        contents = ReadWholeFile(fileName);
    } catch (const EInOutError& e) {
        Dialogs().ShowError(QString::fromStdString(
            Format("Cannot open file \"%s\". %s", Escaped(fileName).c_str(), e.Reason().c_str())));
        return;
    }
    // A single-byte text file: every byte is one character.
    QStringList lines;
    for (const std::string& line : SplitLines(contents))
        lines.append(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    FMemo1->setPlainText(lines.join(QLatin1Char('\n')));
}

} // namespace zw
