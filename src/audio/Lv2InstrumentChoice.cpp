#include "audio/Lv2InstrumentChoice.h"

#include "audio/Lv2World.h"

#include <QComboBox>
#include <QFormLayout>
#include <QTimer>

namespace zw {

TLv2InstrumentChoice::TLv2InstrumentChoice(const TLv2Catalog& catalog, QWidget* parent)
    : QWidget(parent), FCatalog(catalog), FWaitForCatalog(new QTimer(this))
{
    setObjectName("Lv2InstrumentChoice");
    auto* layout = new QFormLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (size_t breeder = 0; breeder < FCombos.size(); ++breeder) {
        const QChar letter = QChar('A' + static_cast<int>(breeder));
        FCombos[breeder] = new QComboBox(this);
        FCombos[breeder]->setObjectName(QString("ComboInstrument") + letter);
        layout->addRow(QString("Breeder %1:").arg(letter), FCombos[breeder]);
    }
    // Reading the installed plug-ins takes a moment at start; the window does not wait for it.
    connect(FWaitForCatalog, &QTimer::timeout, this, [this] {
        if (FCatalog.Ready()) {
            FWaitForCatalog->stop();
            FChoice = Choice(); // what was picked meanwhile
            Fill();
        }
    });
    FWaitForCatalog->start(50);
    Fill();
}

void TLv2InstrumentChoice::SetChoice(const std::array<std::string, 4>& uris)
{
    FChoice = uris;
    Fill();
}

std::array<std::string, 4> TLv2InstrumentChoice::Choice() const
{
    std::array<std::string, 4> uris;
    for (size_t breeder = 0; breeder < FCombos.size(); ++breeder)
        uris[breeder] = FCombos[breeder]->currentData().toString().toStdString();
    return uris;
}

void TLv2InstrumentChoice::Fill()
{
    const bool ready = FCatalog.Ready();
    for (size_t breeder = 0; breeder < FCombos.size(); ++breeder) {
        QComboBox* combo = FCombos[breeder];
        const std::string& chosen = FChoice[breeder];
        combo->clear();
        combo->addItem(kMidiOutput, QString());
        bool listed = chosen.empty();
        if (ready)
            for (const TLv2PluginInfo& info : FCatalog.World().Instruments()) {
                combo->addItem(QString::fromStdString(info.Name), QString::fromStdString(info.Uri));
                listed = listed || info.Uri == chosen;
            }
        if (!listed)
            combo->addItem(QString::fromStdString(chosen) + (ready ? " (not installed)" : ""),
                           QString::fromStdString(chosen));
        combo->setCurrentIndex(std::max(0, combo->findData(QString::fromStdString(chosen))));
    }
}

} // namespace zw
