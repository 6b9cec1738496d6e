#pragma once

#include "app/ControlMap.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace zw {

// Settings → Controls …: the program's controls in a table, each bound to
// nothing, a note, a control change or a program change, on one MIDI channel
// or any. "Learn" takes the next message that arrives at the input. It only
// edits: the main window puts the controls in, Executes it, and after Ok
// takes them back. While no input device is chosen, it says that the bound
// messages cannot arrive.
class TFormControls : public QDialog {
    Q_OBJECT
public:
    explicit TFormControls(QWidget* parent = nullptr);

    // One row per control, in order; the table is built anew.
    void SetControls(const std::vector<TControlMap::TControl>& controls);
    // The controls with the bindings as shown.
    std::vector<TControlMap::TControl> Controls() const;
    void SetInputChosen(bool chosen);

    // While a row learns: takes `message` for it when it fits (a note-on, a
    // control change or a program change; the knob takes control changes
    // only) and tells whether it did.
    bool Learn(uint32_t message);
    bool Learning() const { return FLearning >= 0; }

    // Shows the dialog modally; true when it was closed with Ok.
    bool Execute();

private:
    struct TRow {
        QComboBox* Kind = nullptr;
        QSpinBox* Channel = nullptr;
        QSpinBox* Number = nullptr;
        QPushButton* Learn = nullptr;
    };

    void AddRow(int row, const TControlMap::TControl& control);
    void ShowBinding(int row, const TControlBinding& binding);
    TControlBinding ShownBinding(int row) const;
    void StartLearning(int row, bool on);
    // The editors' enabled state and the state column, after any change.
    void RefreshRow(int row);

    QLabel* FLabelNoInput = nullptr;
    QTableWidget* FTable = nullptr;
    std::vector<TControlMap::TControl> FControls;
    std::vector<TRow> FRows;
    int FLearning = -1;
    bool FInputChosen = true;
};

} // namespace zw
