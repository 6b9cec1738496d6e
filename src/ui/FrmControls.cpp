#include "ui/FrmControls.h"

#include "common/Dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zw {
namespace {

using TKind = TControlBinding::TKind;

enum TColumn { ColumnAction, ColumnKind, ColumnChannel, ColumnNumber, ColumnLearn, ColumnState, ColumnCount };

const char* const kNoInput = "cannot arrive: no MIDI input device is chosen";
const char* const kListening = "waiting for a message at the input";

QSpinBox* NewSpin(const QString& name, int maximum, QWidget* parent)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(0, maximum);
    return spin;
}

} // namespace

TFormControls::TFormControls(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormControls");
    setWindowTitle("Controls");
    UseSmallDialogFont(*this);
    auto* column = new QVBoxLayout(this);
    auto* hint = new QLabel("A note triggers its control as it starts, a program change as it comes, and a control "
                            "change as it rises from below 64 to 64 or above. The morph knob takes a control change: "
                            "0 leaves the audible worm where it was when the knob was first touched, 127 makes it the "
                            "frozen worm. Learn takes the next message that arrives at the input.",
                            this);
    hint->setWordWrap(true);
    column->addWidget(hint);
    FLabelNoInput = new QLabel(QString("No MIDI input device is chosen (Settings → Midi ...): the messages bound "
                                       "here cannot arrive."),
                               this);
    FLabelNoInput->setObjectName("LabelNoInput");
    FLabelNoInput->setWordWrap(true);
    FLabelNoInput->setVisible(false);
    column->addWidget(FLabelNoInput);

    FTable = new QTableWidget(0, ColumnCount, this);
    FTable->setObjectName("TableControls");
    FTable->setHorizontalHeaderLabels({"Control", "Message", "Channel", "Number", "", "State"});
    FTable->verticalHeader()->setVisible(false);
    FTable->setSelectionMode(QAbstractItemView::NoSelection);
    FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTable->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(FTable, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ButtonOk");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("ButtonCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
    resize(640, 640); // every row in sight at once
}

void TFormControls::SetControls(const std::vector<TControlMap::TControl>& controls)
{
    FLearning = -1;
    FControls = controls;
    FRows.assign(controls.size(), TRow{});
    FTable->setRowCount(0);
    FTable->setRowCount(static_cast<int>(controls.size()));
    for (std::size_t i = 0; i < controls.size(); ++i)
        AddRow(static_cast<int>(i), controls[i]);
    FTable->resizeColumnsToContents();
}

void TFormControls::AddRow(int row, const TControlMap::TControl& control)
{
    const QString key = QString::fromStdString(control.Key);
    TRow& editors = FRows[static_cast<std::size_t>(row)];
    FTable->setItem(row, ColumnAction, new QTableWidgetItem(QString::fromStdString(control.Caption)));
    FTable->setItem(row, ColumnState, new QTableWidgetItem);

    editors.Kind = new QComboBox(FTable);
    editors.Kind->setObjectName("ComboKind" + key);
    editors.Kind->addItem("none", static_cast<int>(TKind::None));
    if (!control.Knob)
        editors.Kind->addItem("note", static_cast<int>(TKind::Note));
    editors.Kind->addItem("control change", static_cast<int>(TKind::ControlChange));
    if (!control.Knob)
        editors.Kind->addItem("program change", static_cast<int>(TKind::ProgramChange));
    editors.Channel = NewSpin("SpinChannel" + key, 16, FTable);
    editors.Channel->setSpecialValueText("any");
    editors.Number = NewSpin("SpinNumber" + key, 127, FTable);
    editors.Learn = new QPushButton("Learn", FTable);
    editors.Learn->setObjectName("ButtonLearn" + key);
    editors.Learn->setCheckable(true);
    FTable->setCellWidget(row, ColumnKind, editors.Kind);
    FTable->setCellWidget(row, ColumnChannel, editors.Channel);
    FTable->setCellWidget(row, ColumnNumber, editors.Number);
    FTable->setCellWidget(row, ColumnLearn, editors.Learn);
    ShowBinding(row, control.Binding);

    connect(editors.Kind, &QComboBox::currentIndexChanged, this, [this, row] { RefreshRow(row); });
    connect(editors.Learn, &QPushButton::toggled, this, [this, row](bool on) { StartLearning(row, on); });
}

void TFormControls::ShowBinding(int row, const TControlBinding& binding)
{
    const TRow& editors = FRows[static_cast<std::size_t>(row)];
    const int kind = editors.Kind->findData(static_cast<int>(binding.Kind));
    editors.Kind->setCurrentIndex(kind < 0 ? 0 : kind);
    editors.Channel->setValue(binding.Channel);
    editors.Number->setValue(binding.Number);
    RefreshRow(row);
}

TControlBinding TFormControls::ShownBinding(int row) const
{
    const TRow& editors = FRows[static_cast<std::size_t>(row)];
    const auto kind = static_cast<TKind>(editors.Kind->currentData().toInt());
    if (kind == TKind::None)
        return TControlBinding{};
    return TControlBinding{kind, editors.Channel->value(), editors.Number->value()};
}

std::vector<TControlMap::TControl> TFormControls::Controls() const
{
    std::vector<TControlMap::TControl> controls = FControls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        controls[i].Binding = ShownBinding(static_cast<int>(i));
    return controls;
}

void TFormControls::SetInputChosen(bool chosen)
{
    FInputChosen = chosen;
    FLabelNoInput->setVisible(!chosen);
    for (int row = 0; row < static_cast<int>(FRows.size()); ++row)
        RefreshRow(row);
}

void TFormControls::RefreshRow(int row)
{
    const TRow& editors = FRows[static_cast<std::size_t>(row)];
    const bool bound = ShownBinding(row).Bound();
    editors.Channel->setEnabled(bound);
    editors.Number->setEnabled(bound);
    QString state;
    if (row == FLearning)
        state = kListening;
    else if (bound && !FInputChosen)
        state = kNoInput;
    FTable->item(row, ColumnState)->setText(state);
}

void TFormControls::StartLearning(int row, bool on)
{
    const int before = FLearning;
    if (on) {
        FLearning = row;
        // One row learns at a time.
        if (before >= 0 && before != row)
            FRows[static_cast<std::size_t>(before)].Learn->setChecked(false);
    } else if (before == row) {
        FLearning = -1;
    }
    RefreshRow(row);
    if (before >= 0 && before != row)
        RefreshRow(before);
}

bool TFormControls::Learn(uint32_t message)
{
    if (FLearning < 0)
        return false;
    const std::optional<TControlBinding> binding = TControlBinding::Learned(message);
    const bool knob = FControls[static_cast<std::size_t>(FLearning)].Knob;
    if (!binding || (knob && binding->Kind != TKind::ControlChange))
        return false;
    const int row = FLearning;
    FLearning = -1;
    FRows[static_cast<std::size_t>(row)].Learn->setChecked(false);
    ShowBinding(row, *binding);
    return true;
}

bool TFormControls::Execute()
{
    const bool accepted = exec() == QDialog::Accepted;
    if (FLearning >= 0)
        FRows[static_cast<std::size_t>(FLearning)].Learn->setChecked(false);
    return accepted;
}

} // namespace zw
