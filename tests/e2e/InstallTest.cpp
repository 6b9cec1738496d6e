// The program as a user installs it: `cmake --install` into a prefix that is
// then made read-only, run from there on a virtual display with a fresh home,
// against the JACK server that scripts/run-tests starts (a desktop has an
// audio server). And the Debian package made of the same build.
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include <unistd.h>

namespace zw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStartTimeout = 60s; // the sanitized program starts slowly on a busy machine

// A fresh folder for one test's files, kept after a failure for a look.
struct TWorkFolder {
    TWorkFolder() : Path(ZW_E2E_WORK_DIR "/install-XXXXXX")
    {
        fs::create_directories(ZW_E2E_WORK_DIR);
        std::string pattern = Path.string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("no folder in " ZW_E2E_WORK_DIR);
        Path = pattern;
    }
    ~TWorkFolder();
    fs::path Path;
};

// Write permission of `folder` and everything in it.
void SetWritable(const fs::path& folder, bool writable)
{
    const auto options = writable ? fs::perm_options::add : fs::perm_options::remove;
    const auto write = fs::perms::owner_write | fs::perms::group_write;
    fs::permissions(folder, write, options);
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_symlink())
            fs::permissions(entry.path(), write, options);
}

TWorkFolder::~TWorkFolder()
{
    SetWritable(Path, true);
    if (::testing::Test::HasFailure()) {
        std::cerr << "The test's files are kept in " << Path << "\n";
        return;
    }
    std::error_code ignored;
    fs::remove_all(Path, ignored);
}

// Runs a tool to its end; on failure, what it printed.
::testing::AssertionResult Runs(const std::vector<std::string>& argv, const fs::path& log)
{
    TChildProcess tool(argv, TEnvironment(), log.string());
    tool.CloseInput();
    const auto exit = tool.Wait(120s);
    if (exit && !exit->Signalled && exit->Code == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << argv[0] << ": " << (exit ? exit->Describe() : "no end in 120 s") << "\n"
                                         << FileTail(log.string());
}

// Root writes into read-only folders; without these capabilities it cannot,
// like any user.
std::vector<std::string> AsAUser(const fs::path& program)
{
    if (geteuid() != 0)
        return {program.string()};
    return {"setpriv", "--bounding-set", "-dac_override,-dac_read_search", program.string()};
}

const std::vector<std::string> kDataFiles = {
    "share/zwirbels/RuleHelp.txt", "share/zwirbels/default.sub",
    "share/applications/org.zwirbels.Zwirbels.desktop",
    "share/icons/hicolor/scalable/apps/org.zwirbels.Zwirbels.svg",
    "share/metainfo/org.zwirbels.Zwirbels.metainfo.xml", "share/man/man1/zwirbels.1.gz",
    "share/man/man1/zwirbels-rule.1.gz", "share/man/man1/zwirbels-render.1.gz",
    "share/man/man1/zwirbels-match.1.gz", "share/doc/zwirbels/copyright", "share/zwirbels/synth.sub"};

TEST(InstalledProgram, RunsFromAReadOnlyPrefixAndWritesIntoTheUsersFolder)
{
    const TWorkFolder work;
    const fs::path prefix = work.Path / "prefix";
    const fs::path configFolder = work.Path / "config" / "zwirbels";
    ASSERT_TRUE(Runs({ZW_CMAKE, "--install", ZW_BUILD_DIR, "--prefix", prefix.string()}, work.Path / "install.log"));
    for (const std::string& file : kDataFiles)
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file << " was not installed";
    EXPECT_TRUE(Runs({"desktop-file-validate", (prefix / kDataFiles[2]).string()}, work.Path / "desktop.log"));
    EXPECT_TRUE(Runs({"appstreamcli", "validate", "--no-net", (prefix / kDataFiles[4]).string()},
                     work.Path / "metainfo.log"));
    SetWritable(prefix, false);

    TEnvironment user;
    user.Set("HOME", (work.Path / "home").string());
    user.Set("XDG_CONFIG_HOME", (work.Path / "config").string());
    std::vector<std::string> help = AsAUser(prefix / "bin/zwirbels");
    help.push_back("--help");
    const auto helpText = RunTool(help, user);
    ASSERT_TRUE(helpText.has_value()) << "zwirbels --help failed";
    EXPECT_NE(helpText->find("Settings file: " + (configFolder / "zwirbels.INI").string() + "\n"), std::string::npos)
        << *helpText;
    EXPECT_EQ(RunTool({(prefix / "bin/zwirbels-rule").string(), "--version"}, user),
              std::string("zwirbels-rule ") + ZW_VERSION + "\n");
    EXPECT_EQ(RunTool({(prefix / "bin/zwirbels-render").string(), "--version"}, user),
              std::string("zwirbels-render ") + ZW_VERSION + "\n");
    EXPECT_EQ(RunTool({(prefix / "bin/zwirbels-match").string(), "--version"}, user),
              std::string("zwirbels-match ") + ZW_VERSION + "\n");

    // A first start: the built-in synthesizer plays through the JACK server
    // (as a desktop has an audio server), with its rules from the data folder.
    const TVirtualDisplay display((work.Path / "xvfb.log").string());
    TRunningProgram program(AsAUser(prefix / "bin/zwirbels"), user, display, (work.Path / "zwirbels.log").string());
    // A missing help text or a failed start shows a box before the main window.
    ASSERT_TRUE(program.WaitForWindow("Zwirbels", kStartTimeout)) << program.Log();
    EXPECT_FALSE(program.WaitForWindow("zwirbels", 2s)) << "a message box at start; " << program.Log();
    ASSERT_TRUE(program.WaitForWindow("Zwirbels", 1s));

    // Settings -> Encodings: the rules window holds the installed synthesizer rules.
    ASSERT_TRUE(program.PressKeys("alt+s"));
    ASSERT_TRUE(program.PressKeys("e"));
    const std::string rulesTitle = "Translation rules  [" + (prefix / "share/zwirbels/synth.sub").string() + "] ";
    ASSERT_TRUE(program.WaitForWindow(rulesTitle, 20s)) << "no rules window titled \"" << rulesTitle << "\"";
    // Syntax check with Debug on (its start state): "Syntax Ok" alone, no
    // error about the trace file after it.
    ASSERT_TRUE(program.PressKeys("alt+y"));
    ASSERT_TRUE(program.WaitForWindow("zwirbels", 20s)) << "the syntax check showed no verdict";
    ASSERT_TRUE(program.PressKeys("Return"));
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(program.WaitForWindow("zwirbels", 2s)) << "a second box after the verdict: the trace failed";
    EXPECT_TRUE(fs::is_regular_file(configFolder / "debug.txt")) << "no trace in " << configFolder;

    // The rules window's Alt+X ends the program, which writes its settings.
    ASSERT_TRUE(program.WaitForWindow(rulesTitle, 5s));
    ASSERT_TRUE(program.PressKeys("alt+x"));
    const auto exit = program.Process().Wait(30s);
    ASSERT_TRUE(exit.has_value()) << "the program did not end; " << program.Log();
    EXPECT_EQ(exit->Code, 0) << exit->Describe() << "\n" << program.Log();
    const TWrittenSettings settings(configFolder / "zwirbels.INI");
    EXPECT_EQ(settings.Value("Midi", "MidiOut"), "Zwirbels synthesizer") << settings.Text();
    EXPECT_EQ(settings.Value("Translations", "FileName"), (prefix / "share/zwirbels/synth.sub").string())
        << settings.Text();
}

TEST(DebianPackage, ListsItsFilesAndDependencies)
{
    const TWorkFolder work;
    // What `cmake --build <dir> --target package` runs, without rebuilding.
    ASSERT_TRUE(Runs({ZW_CPACK, "--config", ZW_BUILD_DIR "/CPackConfig.cmake", "-B", work.Path.string()},
                     work.Path / "cpack.log"));
    fs::path package;
    for (const auto& entry : fs::directory_iterator(work.Path))
        if (entry.path().extension() == ".deb")
            package = entry.path();
    ASSERT_EQ(package.filename().string().rfind("zwirbels_" ZW_VERSION "_", 0), 0u) << "package: " << package;
    const std::string debFile = package.string();
    const auto files = RunTool({"dpkg-deb", "-c", debFile}, TEnvironment());
    ASSERT_TRUE(files.has_value()) << "cannot list " << debFile;
    std::vector<std::string> expected = kDataFiles;
    expected.insert(expected.end(), {"bin/zwirbels", "bin/zwirbels-rule", "bin/zwirbels-render", "bin/zwirbels-match",
                                    "bin/zwirbels-plugin-host"});
    for (const std::string& file : expected)
        EXPECT_NE(files->find(" ./usr/" + file + "\n"), std::string::npos) << file << " missing:\n" << *files;

    const auto control = RunTool({"dpkg-deb", "-f", debFile, "Package", "Version", "Depends"}, TEnvironment());
    ASSERT_TRUE(control.has_value());
    EXPECT_NE(control->find("Package: zwirbels\n"), std::string::npos) << *control;
    EXPECT_NE(control->find("Version: " ZW_VERSION "\n"), std::string::npos) << *control;
    // Found by the library scan, and the plugin the scan cannot see.
    for (const char* dependency : {"libqt6widgets6", "librtmidi", "libc6", "libqt6svg6"})
        EXPECT_NE(control->find(dependency), std::string::npos) << dependency << " not declared:\n" << *control;
}

} // namespace
} // namespace zw
