#pragma once

#include "support/ChildProcess.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The real program, run as a user runs it: from a folder of its own holding a
// copy of the program file, the rule file and a settings file, on a virtual
// display, driven by synthetic key presses.
namespace zw {

// An X server without a screen (Xvfb) on a display number of its own.
class TVirtualDisplay {
public:
    // Raises std::runtime_error when the server does not come up within 10 s.
    explicit TVirtualDisplay(const std::string& logFile);
    const std::string& Name() const { return FName; } // e.g. ":7"

private:
    std::unique_ptr<TChildProcess> FServer;
    std::string FName;
};

// A fresh folder holding a copy of the program file (a copy, since the
// program looks for its files beside its real path), default.sub, synth.sub and
// RuleHelp.txt from `buildBin`, a link to the plug-in host there, and the
// settings file zwirbels.INI.
class TProgramFolder {
public:
    TProgramFolder(const std::filesystem::path& parent, const std::filesystem::path& program,
                   const std::filesystem::path& buildBin);
    ~TProgramFolder();
    TProgramFolder(const TProgramFolder&) = delete;
    TProgramFolder& operator=(const TProgramFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path Program() const { return FPath / "zwirbels"; }
    std::filesystem::path SettingsFile() const { return FPath / "zwirbels.INI"; }
    std::filesystem::path RuleFile() const { return FPath / "default.sub"; }
    void WriteSettings(const std::string& text) const;
    // The folder stays for a look after a failure.
    void Keep() { FKeep = true; }

private:
    std::filesystem::path FPath;
    bool FKeep = false;
};

// The settings file as the program left it, read without the program's own
// reader: section and key names as written, CR LF or LF line ends.
class TWrittenSettings {
public:
    explicit TWrittenSettings(const std::filesystem::path& file);
    bool Has(const std::string& section, const std::string& key) const;
    std::string Value(const std::string& section, const std::string& key) const;
    const std::string& Text() const { return FText; }

private:
    std::map<std::pair<std::string, std::string>, std::string> FValues;
    std::string FText;
};

// The program running on a display.
class TRunningProgram {
public:
    TRunningProgram(const TProgramFolder& folder, const TVirtualDisplay& display, const std::string& logFile);
    // Any command line (the program file first, or a wrapper that starts it)
    // in `environment`.
    TRunningProgram(const std::vector<std::string>& argv, TEnvironment environment, const TVirtualDisplay& display,
                    const std::string& logFile);

    // Waits for a shown window titled exactly `title` (the main window is
    // "Zwirbels", a message box "zwirbels") and makes it the one keys go to;
    // false when none appeared within `timeout` or the program ended first.
    bool WaitForWindow(const std::string& title, std::chrono::milliseconds timeout);
    // Gives that window the keyboard focus and presses `keys` (xdotool names,
    // e.g. "Right", "alt+x"), as a user at the keyboard would.
    bool PressKeys(const std::string& keys);
    TChildProcess& Process() { return *FProcess; }
    std::string Log() const { return FileTail(FProcess->LogFile()); }

private:
    TEnvironment FEnvironment;
    std::unique_ptr<TChildProcess> FProcess;
    std::string FWindow;
};

} // namespace zw
