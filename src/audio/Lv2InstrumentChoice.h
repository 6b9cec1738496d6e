#pragma once

#include <QWidget>

#include <array>
#include <string>

class QComboBox;
class QTimer;

namespace zw {

class TLv2Catalog;

// Per breeder A–D, what its audible worm plays: "MIDI output (rules)" or one
// installed LV2 instrument. The Sound settings dialog embeds it. The list
// fills once the catalog has read the installed plug-ins; a chosen
// instrument that is not installed stays chosen, marked as such.
class TLv2InstrumentChoice : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kMidiOutput = "MIDI output (rules)";

    TLv2InstrumentChoice(const TLv2Catalog& catalog, QWidget* parent = nullptr);

    // Plug-in URIs; empty: the MIDI output.
    void SetChoice(const std::array<std::string, 4>& uris);
    std::array<std::string, 4> Choice() const;

private:
    void Fill();

    const TLv2Catalog& FCatalog;
    std::array<QComboBox*, 4> FCombos{};
    std::array<std::string, 4> FChoice;
    QTimer* FWaitForCatalog;
};

} // namespace zw
