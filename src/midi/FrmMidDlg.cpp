#include "midi/FrmMidDlg.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace zw {

// A number field with up/down arrows that shows what was typed until it loses
// the focus, and only then confines it to its range.
class TSpinEdit : public QAbstractSpinBox {
public:
    TSpinEdit(QWidget* parent, int minValue, int maxValue)
        : QAbstractSpinBox(parent), FMinValue(minValue), FMaxValue(maxValue)
    {
        SetValue(minValue);
    }

    // The whole number shown; text that is none reads as 0.
    int Value() const
    {
        bool ok = false;
        const int value = text().trimmed().toInt(&ok);
        return ok ? value : 0;
    }

    void SetValue(long long value)
    {
        lineEdit()->setText(QString::number(std::clamp<long long>(value, FMinValue, FMaxValue)));
    }

    void stepBy(int steps) override { SetValue(static_cast<long long>(Value()) + steps); }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

    void focusOutEvent(QFocusEvent* event) override
    {
        QAbstractSpinBox::focusOutEvent(event);
        SetValue(Value());
    }

private:
    const int FMinValue;
    const int FMaxValue;
};

namespace {

constexpr int kClientWidth = 209;
constexpr int kClientHeight = 300;
constexpr int kListWidth = 201;
constexpr int kFieldWidth = 41;
constexpr int kFieldHeight = 21;
constexpr int kFieldLeft[4] = {4, 57, 111, 164};
const char* const kLetters[4] = {"A", "B", "C", "D"};

// Upper case for ASCII letters only: an accented letter matches only itself.
QString UpperAscii(const QString& text)
{
    QString result = text;
    for (QChar& c : result)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - ('a' - 'A'));
    return result;
}

QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top)
{
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

TMidiDeviceNames ListMidiDevices(TMidiBinding& binding)
{
    TMidiDeviceNames devices;
    const uint32_t inputs = binding.InGetNumDevs();
    for (uint32_t i = 0; i < inputs; ++i) {
        TMidiInCaps caps; // a failed query lists what it left: an empty name
        binding.InGetDevCaps(i, caps);
        devices.Inputs.push_back(caps.szPname);
    }
    TMidiOutCaps mapper;
    binding.OutGetDevCaps(MIDI_MAPPER, mapper);
    devices.Outputs.push_back(mapper.szPname);
    const uint32_t outputs = binding.OutGetNumDevs();
    for (uint32_t i = 0; i < outputs; ++i) {
        TMidiOutCaps caps;
        binding.OutGetDevCaps(i, caps);
        devices.Outputs.push_back(caps.szPname);
    }
    return devices;
}

TFormMidiDialog::TFormMidiDialog(QWidget* parent, TMidiBinding* binding)
    : QDialog(parent), FBinding(binding ? *binding : MidiBinding())
{
    BuildControls();
    FillDeviceLists();
}

TFormMidiDialog::~TFormMidiDialog() = default;

void TFormMidiDialog::BuildControls()
{
    setObjectName("FormMidiDialog");
    setWindowTitle("MIDI settings");
    setFixedSize(kClientWidth, kClientHeight);
    setFont(QFont("MS Sans Serif", 8));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(196, 189, 194)); // 12762564
    setPalette(colours);
    setAutoFillBackground(true);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(0, 0, kClientWidth, 27);
    auto makeButton = [panel](const char* name, const char* text, QStyle::StandardPixmap image, int left) {
        auto* button = new QToolButton(panel);
        button->setObjectName(name);
        button->setText(text);
        button->setIcon(panel->style()->standardIcon(image));
        button->setIconSize(QSize(12, 12));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(left, 1, kClientWidth / 2 - 1, 25);
        return button;
    };
    auto* cancel = makeButton("SpeedButtonCancel", "Cancel", QStyle::SP_DialogCancelButton, 1);
    auto* ok = makeButton("SpeedButtonOk", "Ok", QStyle::SP_DialogOkButton, kClientWidth / 2 + 1);
    connect(cancel, &QToolButton::clicked, this, [this] { CancelAction(); });
    connect(ok, &QToolButton::clicked, this, [this] { OkAction(); });

    // One section per direction: label with access key, list, "channels", letters, fields.
    auto makeSection = [this](const char* caption, const char* listName, const char* fieldPrefix, int top,
                              TSpinEdit* (&fields)[4]) {
        QLabel* label = AddLabel(this, caption, 4, top);
        auto* list = new QComboBox(this);
        list->setObjectName(listName);
        list->setEditable(false);
        list->setGeometry(4, top + 16, kListWidth, kFieldHeight);
        label->setBuddy(list);
        AddLabel(this, "channels", 4, top + 42);
        for (int i = 0; i < 4; ++i) {
            AddLabel(this, kLetters[i], kFieldLeft[i] + 16, top + 58);
            fields[i] = new TSpinEdit(this, 0, 15);
            fields[i]->setObjectName(QString(fieldPrefix) + kLetters[i]);
            fields[i]->setGeometry(kFieldLeft[i], top + 74, kFieldWidth, kFieldHeight);
        }
        return list;
    };
    FComboBoxInputs = makeSection("MIDI &Input", "ComboBoxInputs", "SpinEditInChannel", 33, FInChannels);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel->setGeometry(0, 136, kClientWidth, 4);
    FComboBoxOutputs = makeSection("MIDI &Output", "ComboBoxOutputs", "SpinEditOutChannel", 146, FOutChannels);

    auto* systemBevel = new QFrame(this);
    systemBevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    systemBevel->setGeometry(0, 244, kClientWidth, 4);
    QLabel* systemLabel = AddLabel(this, "MIDI &system", 4, 250);
    FComboBoxSystem = new QComboBox(this);
    FComboBoxSystem->setObjectName("ComboBoxSystem");
    // In the order of TMidiSystem.
    FComboBoxSystem->addItems({"ALSA, else JACK", "ALSA sequencer", "JACK"});
    FComboBoxSystem->setGeometry(4, 266, kListWidth, kFieldHeight);
    systemLabel->setBuddy(FComboBoxSystem);
    connect(FComboBoxSystem, &QComboBox::activated, this, [this] { SystemChosen(); });

    QWidget* order[] = {FComboBoxInputs, FComboBoxOutputs, FInChannels[0], FOutChannels[0], FInChannels[1],
                        FInChannels[2],  FInChannels[3],   FOutChannels[1], FOutChannels[2], FOutChannels[3],
                        FComboBoxSystem};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    // Key preview: the controls that take the focus show their keys to the window first.
    for (QWidget* control : order)
        control->installEventFilter(this);
}

void TFormMidiDialog::FillDeviceLists()
{
    if (FListsFilled)
        return;
    ShowDevices(ListMidiDevices(FBinding));
    FListsFilled = true;
}

void TFormMidiDialog::ShowDevices(const TMidiDeviceNames& devices)
{
    FComboBoxInputs->clear();
    FSelectedInput.clear();
    for (const std::string& name : devices.Inputs)
        FComboBoxInputs->addItem(QString::fromStdString(name));
    if (FComboBoxInputs->count() > 0)
        SelectInput(FComboBoxInputs->itemText(0));
    FComboBoxOutputs->clear();
    FSelectedOutput.clear();
    for (const std::string& name : devices.Outputs)
        FComboBoxOutputs->addItem(QString::fromStdString(name));
    if (FComboBoxOutputs->count() > 0)
        SelectOutput(FComboBoxOutputs->itemText(0));
}

void TFormMidiDialog::SystemChosen()
{
    if (!FSystemLister)
        return;
    // The devices of the chosen system, at once; the names chosen so far stay
    // chosen where that system has them too.
    const QString input = FSelectedInput;
    const QString output = FSelectedOutput;
    if (SelectedSystem() == FSystemInUse) {
        FListsFilled = false;
        FillDeviceLists();
    } else {
        ShowDevices(FSystemLister(SelectedSystem()));
    }
    SelectInput(input);
    SelectOutput(output);
}

void TFormMidiDialog::RefreshDeviceLists()
{
    const QString input = FSelectedInput;
    const QString output = FSelectedOutput;
    FListsFilled = false;
    FillDeviceLists();
    SelectInput(input);
    SelectOutput(output);
}

void TFormMidiDialog::SetSystem(TMidiSystem system)
{
    FSystemInUse = system;
    FComboBoxSystem->setCurrentIndex(static_cast<int>(system));
}

TMidiSystem TFormMidiDialog::SelectedSystem() const
{
    return static_cast<TMidiSystem>(std::max(FComboBoxSystem->currentIndex(), 0));
}

void TFormMidiDialog::Select(QComboBox* list, const QString& name, QString& selected)
{
    list->setCurrentIndex(-1);
    const QString wanted = UpperAscii(name);
    for (int i = 0; i < list->count(); ++i) {
        if (UpperAscii(list->itemText(i)) == wanted) {
            list->setCurrentIndex(i);
            selected = list->itemText(i);
            return;
        }
    }
}

void TFormMidiDialog::SelectInput(const QString& name)
{
    Select(FComboBoxInputs, name, FSelectedInput);
}

void TFormMidiDialog::SelectOutput(const QString& name)
{
    Select(FComboBoxOutputs, name, FSelectedOutput);
}

int TFormMidiDialog::InChannel(int channel) const
{
    return FInChannels[std::clamp(channel, 0, 3)]->Value();
}

void TFormMidiDialog::SetInChannel(int channel, int value)
{
    FInChannels[std::clamp(channel, 0, 3)]->SetValue(value);
}

int TFormMidiDialog::OutChannel(int channel) const
{
    return FOutChannels[std::clamp(channel, 0, 3)]->Value();
}

void TFormMidiDialog::SetOutChannel(int channel, int value)
{
    FOutChannels[std::clamp(channel, 0, 3)]->SetValue(value);
}

bool TFormMidiDialog::Execute()
{
    FillDeviceLists();
    return exec() == QDialog::Accepted;
}

void TFormMidiDialog::TakeShownEntries()
{
    SelectInput(FComboBoxInputs->currentIndex() >= 0 ? FComboBoxInputs->currentText() : QString());
    SelectOutput(FComboBoxOutputs->currentIndex() >= 0 ? FComboBoxOutputs->currentText() : QString());
}

void TFormMidiDialog::OkAction()
{
    TakeShownEntries();
    done(QDialog::Accepted);
}

void TFormMidiDialog::CancelAction()
{
    TakeShownEntries();
    done(QDialog::Rejected);
}

bool TFormMidiDialog::HandleKey(QKeyEvent* event)
{
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (!enter && key != Qt::Key_Escape)
        return false;
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return true; // does nothing here, and the dialog's own handling must not close it either
    if (enter)
        OkAction();
    else
        CancelAction();
    return true;
}

bool TFormMidiDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TFormMidiDialog::keyPressEvent(QKeyEvent* event)
{
    if (!HandleKey(event))
        QDialog::keyPressEvent(event);
}

} // namespace zw
