#pragma once

#include "app/MainSettings.h"

#include <functional>

class QString;
class QWidget;

namespace zw {

class TAuditionControl;
class TAutomation;
class TGeneControls;
class TKeptBreeders;
class TMidiControls;
class TMidiDevices;
class TSoundControl;
struct TBreederTabs;

// The features of the main window whose state the settings file keeps.
struct TSettingsParts {
    TMidiDevices& Midi;
    TAutomation& Automation;
    TAuditionControl& Audition;
    TSoundControl& Sound;
    TGeneControls& Genes;
    TMidiControls& Controls;
    TKeptBreeders& Kept;
};

// The main window's settings file: read once at creation and handed to each
// feature, the rule file name read at first show and handed to the rules
// editor, the sound settings written as soon as they are chosen, and all of
// it written once at close. A file that could not be read at creation is
// reported then and left alone: neither read again nor written. It owns only
// that flag; the state it reads and writes is the features'.
class TSettingsStore {
public:
    TSettingsStore(QWidget& window, const TBreederTabs& breeders, TSettingsParts parts);

    // Reads the file and hands each feature its part; `firstStart` learns,
    // before the features' own messages, whether this is the first start.
    void Read(const std::function<void(bool firstStart)>& firstStart);
    // Writes it all; what cannot be written raises, the keys skipped are
    // handed to `tell`.
    void Write(const std::function<void(const QString&)>& tell);
    void WriteSound();
    // Loads the rules of the file name the settings hold, once.
    void LoadTranslations();

private:
    // The state the settings file keeps, as it stands now.
    TMainSettings Current() const;

    QWidget& FWindow;
    const TBreederTabs& FBreeders;
    TSettingsParts FParts;
    bool FUnreadable = false;
};

} // namespace zw
