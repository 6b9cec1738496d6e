#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace zw {

// The "Rule syntax help" window: a read-only page showing RuleHelp.txt from
// the program's folder. The file is read once, at creation; a file that cannot
// be opened is reported then and leaves the page blank. Closing only hides.
class TFormRuleHelp : public QWidget {
    Q_OBJECT

public:
    explicit TFormRuleHelp(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1() const { return FMemo1; }

private:
    void LoadHelpText();

    QPlainTextEdit* FMemo1;
};

} // namespace zw
