#include "support/ProgramRun.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zw {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// `text` as an extended regular expression that matches just itself, for
// titles holding file names and brackets.
std::string RegexLiteral(const std::string& text)
{
    std::string pattern;
    for (char c : text) {
        if (std::strchr(".[]()*+?{}|^$\\", c))
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

} // namespace

TVirtualDisplay::TVirtualDisplay(const std::string& logFile)
{
    // Xvfb picks a free display number itself and writes it to the descriptor
    // handed to it, so parallel runs never collide.
    int numberPipe[2];
    if (pipe2(numberPipe, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("no pipe: ") + std::strerror(errno));
    try {
        FServer = std::make_unique<TChildProcess>(
            std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
            TEnvironment(), logFile, numberPipe[1]);
    } catch (...) {
        close(numberPipe[0]);
        close(numberPipe[1]);
        throw;
    }
    close(numberPipe[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (number.empty() || number.back() != '\n') {
        if (std::chrono::steady_clock::now() > deadline || !FServer->Running())
            break;
        pollfd ready{numberPipe[0], POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(numberPipe[0], &c, 1) != 1)
            break;
        number += c;
    }
    close(numberPipe[0]);
    if (number.empty() || number.back() != '\n')
        throw std::runtime_error("Xvfb did not report its display within 10 s; its log:\n" + FileTail(logFile));
    number.pop_back();
    FName = ":" + number;
}

TProgramFolder::TProgramFolder(const fs::path& parent, const fs::path& program, const fs::path& buildBin)
{
    fs::create_directories(parent);
    std::string pattern = (parent / "run-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder in " + parent.string() + ": " + std::strerror(errno));
    FPath = pattern;
    fs::copy_file(program, Program());
    fs::copy_file(buildBin / "default.sub", RuleFile());
    fs::copy_file(buildBin / "RuleHelp.txt", FPath / "RuleHelp.txt");
    fs::copy_file(buildBin / "synth.sub", FPath / "synth.sub"); // a first start's rules
    // The plug-in host is found beside the program, as installed.
    if (fs::exists(buildBin / "zwirbels-plugin-host"))
        fs::create_symlink(buildBin / "zwirbels-plugin-host", FPath / "zwirbels-plugin-host");
}

TProgramFolder::~TProgramFolder()
{
    if (!FKeep) {
        std::error_code ignored;
        fs::remove_all(FPath, ignored);
    }
}

void TProgramFolder::WriteSettings(const std::string& text) const
{
    std::ofstream file(SettingsFile(), std::ios::binary);
    file << text;
    if (!file.flush())
        throw std::runtime_error("cannot write " + SettingsFile().string());
}

TWrittenSettings::TWrittenSettings(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    FText = text.str();
    std::istringstream lines(FText);
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            FValues.emplace(std::make_pair(section, line.substr(0, equals)), line.substr(equals + 1));
    }
}

bool TWrittenSettings::Has(const std::string& section, const std::string& key) const
{
    return FValues.count({section, key}) != 0;
}

std::string TWrittenSettings::Value(const std::string& section, const std::string& key) const
{
    const auto found = FValues.find({section, key});
    return found == FValues.end() ? std::string() : found->second;
}

TRunningProgram::TRunningProgram(const TProgramFolder& folder, const TVirtualDisplay& display,
                                 const std::string& logFile)
    : TRunningProgram({folder.Program().string()}, TEnvironment(), display, logFile)
{
}

TRunningProgram::TRunningProgram(const std::vector<std::string>& argv, TEnvironment environment,
                                 const TVirtualDisplay& display, const std::string& logFile)
    : FEnvironment(std::move(environment))
{
    // The program shows its window on the display; the offscreen platform
    // that the test itself may run on is not for it.
    FEnvironment.Unset("QT_QPA_PLATFORM");
    FEnvironment.Set("DISPLAY", display.Name());
    FProcess = std::make_unique<TChildProcess>(argv, FEnvironment, logFile);
}

bool TRunningProgram::WaitForWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    FWindow.clear();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline && FProcess->Running()) {
        // xdotool matches titles without regard to case; the exact title is checked here.
        std::string pattern = "^";
        pattern += RegexLiteral(title);
        pattern += '$';
        if (auto found = RunTool({"xdotool", "search", "--onlyvisible", "--name", pattern}, FEnvironment)) {
            std::istringstream ids(*found);
            std::string id;
            while (std::getline(ids, id)) {
                const auto name = RunTool({"xdotool", "getwindowname", id}, FEnvironment);
                if (name && *name == title + "\n") {
                    FWindow = id;
                    return true;
                }
            }
        }
        std::this_thread::sleep_for(200ms);
    }
    return false;
}

bool TRunningProgram::PressKeys(const std::string& keys)
{
    if (FWindow.empty())
        return false;
    // Without a window manager the focus is set directly; the keys then go
    // through the X server's input path like typed ones.
    return RunTool({"xdotool", "windowfocus", "--sync", FWindow, "key", "--delay", "50", keys}, FEnvironment)
        .has_value();
}

} // namespace zw
