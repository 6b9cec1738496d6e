#pragma once

#include "rules/Substitution.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace zw {

// The "Translation rules" window: owns the program's rule table, edits it
// through a grid, loads and saves it as a substitution file and tries a rule
// out with the syntax check and its trace. Closing only hides it.
class TFormTranslate : public QWidget {
    Q_OBJECT

public:
    // The table has one entry per gene of a worm.
    static constexpr int kRuleCount = 120;

    // A rectangle of grid cells. Row r (1..Count) shows entry r - 1; column 1
    // is "Active", column 2 "Rule", column 3 "Name" (row 0 and column 0 are
    // the headers).
    struct TGridRect {
        int Left = 0;
        int Top = 0;
        int Right = -1;
        int Bottom = -1;
    };

    explicit TFormTranslate(QWidget* parent = nullptr);

    const std::string& FileName() const { return FFileName; }
    bool Modified() const { return FModified; }
    bool FileNameAssigned() const { return FFileNameAssigned; }
    TSubstitution& Substitution() { return FSubstitution; }
    const TSubstitution& Substitution() const { return FSubstitution; }

    // Takes `name` when it differs from FileName, and marks a name assigned.
    void SetFileName(const std::string& name);
    void SetModified(bool modified);

    // What LoadRules does with rules it cannot read.
    enum class TUnreadable {
        UseFallback, // this run uses "default.sub"; FileName stays
        KeepRules,   // the table stays as it was
    };
    // Loads FileName, or "default.sub" beside the program when nothing of
    // that name exists; with neither the rules count as modified. A read
    // error raises, after the table was dealt with as `unreadable` says. A
    // file read that is not what it claims is shown in one box.
    void LoadRules(TUnreadable unreadable = TUnreadable::UseFallback);
    // Saves to FileName, or through the save dialog when that file does not
    // exist or its last load was refused. False when the user cancelled the dialog; a write error raises.
    bool SaveRules();
    bool SaveRulesAs();

    // May the rules be dropped? Asks "Translations [..] changed - save 'm ?"
    // when modified: Yes saves (and allows only when that worked), No allows,
    // Cancel refuses. Errors are shown; they refuse. The main window's close
    // query asks this too.
    bool CloseQuery() noexcept;

    // The actions behind "&Use on sel.", "&Load" and "S&yntax check". The
    // syntax check raises what the evaluation raised, after its message.
    void UseOnSelection();
    void LoadWithDialog();
    void SyntaxCheck();
    // Asks for the name of `entry` (0-based), as a double click on its
    // "Name" cell does.
    void EditName(int entry);

    // Grid rows including the header row: Count + 1, never fewer than 2.
    int GridRowCount() const;
    TGridRect Selection() const;
    void SetSelection(const TGridRect& rect);

    // Alt+X asks the program to end: the main window connects its own close,
    // so the usual close query runs and the settings are written.
    std::function<void()> OnExitRequested;
    // The table was loaded or edited (the gene view shows its names).
    std::function<void()> OnRulesChanged;
    // The window "Syntax &help" shows (not owned).
    void SetSyntaxHelpWindow(QWidget* window) { FSyntaxHelpWindow = window; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Keys reach this window before its controls (for Alt+X).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void UpdateCaption();
    void SetupGrid();
    void FillGrid();
    void ShowEntry(int entry);
    void LoadFallback();
    // Asks before unsaved rules are dropped; may raise a save error.
    bool MayDropRules();
    bool HandleExitKey(QEvent* event);
    void RulesChanged();

    QString FBaseCaption;
    std::string FFileName;
    bool FModified = false;
    bool FFileNameAssigned = false;
    bool FFileRefused = false;
    TSubstitution FSubstitution;
    QPointer<QWidget> FSyntaxHelpWindow;

    QTableWidget* FStringGridRules = nullptr;
    QPushButton* FSpeedButtonClose = nullptr;
    QPushButton* FSpeedButtonSave = nullptr;
    QPushButton* FSpeedButtonLoad = nullptr;
    QGroupBox* FGroupBox1 = nullptr;
    QLineEdit* FEditMidiCh = nullptr;
    QLineEdit* FEditGeneNr = nullptr;
    QLineEdit* FEditGeneVal = nullptr;
    QCheckBox* FCheckBoxDebug = nullptr;
    QPushButton* FSpeedButtonSyntaxCheck = nullptr;
    QPushButton* FSpeedButtonSyntaxHelp = nullptr;
    QCheckBox* FCheckBoxActive = nullptr;
    QComboBox* FComboBoxRule = nullptr;
    QPushButton* FSpeedButtonUseOnSelection = nullptr;
};

} // namespace zw
