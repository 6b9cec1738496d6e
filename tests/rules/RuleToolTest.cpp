// Runs the built zwirbels-rule and checks its output and exit codes.

#include "common/SafeFile.h"

#include "support/TempPath.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

extern char** environ;

using zw::TempPath;

namespace {

struct TRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

TRun RunTool(const std::vector<std::string>& args)
{
    const std::string outFile = TempPath("rule-tool.out");
    const std::string errFile = TempPath("rule-tool.err");
    std::vector<std::string> argv = {ZW_RULE_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    TRun run;
    if (posix_spawn(&pid, ZW_RULE_TOOL, &actions, nullptr, pointers.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.Out = zw::ReadWholeFile(outFile);
        run.Err = zw::ReadWholeFile(errFile);
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

std::string WriteTemp(const std::string& name, const std::string& contents)
{
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

} // namespace

TEST(RuleTool, EvaluatesOneRuleLikeTheEditorsSyntaxCheck)
{
    TRun run = RunTool({"-v", "0,1,2", "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "Syntax Ok. output( 0, 1, 2) = '10110000, 00000001, 00000010' [$B0, $01, $02]\n");
    EXPECT_EQ(run.Err, "");

    run = RunTool({"3(5)"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "Syntax Ok. output( ) = '10100000' [$A0]\n");

    run = RunTool({"4(1) x"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "Syntax error.\n");
    EXPECT_EQ(run.Err, "");

    run = RunTool({"4(1 2)"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "Syntax error.\n");
    EXPECT_EQ(run.Err, "Syntax error : rule : ')' expected at pos. 6\n");

    run = RunTool({"-v", "1,2", "8(%3)"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, "Non existing variable referenced (2)\n");
}

TEST(RuleTool, RefusesBadVariablesAndArguments)
{
    TRun run = RunTool({"-v", "0,1,300", "8(1)"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "Range check error\n");

    run = RunTool({"-v", "-1", "8(1)"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, "Range check error\n");

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"-v", "1,x", "8(1)"}, {"-v"}, {"8(1)", "8(2)"}, {"--bogus", "8(1)"}, {"--check"}}) {
        run = RunTool(args);
        EXPECT_EQ(run.ExitCode, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(run.Err.find("Usage:"), std::string::npos);
    }

    run = RunTool({"--help"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find("zwirbels-rule --check FILE.sub"), std::string::npos);
}

TEST(RuleTool, WritesTheTraceFile)
{
    const std::string trace = TempPath("tool-trace.txt");
    TRun run = RunTool({"-t", trace, "-v", "7", "8(%1)"});
    EXPECT_EQ(run.ExitCode, 0);
    const std::string text = zw::ReadWholeFile(trace);
    EXPECT_EQ(text.rfind("-- test rules\r\n", 0), 0U);
    EXPECT_NE(text.find("variable : %1 = 7\r\n"), std::string::npos);

    run = RunTool({"-t", TempPath("no-such-folder/trace.txt"), "8(1)"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "Syntax error.\n");
    EXPECT_EQ(run.Err, "Cannot write \"" + TempPath("no-such-folder/trace.txt") + "\": No such file or directory\n");
}

TEST(RuleTool, ChecksEveryActiveRuleOfASubstitutionFile)
{
    // gene 0 fine; 1 divides by %1 (0 in the first pass); 2 leaves text over;
    // 3 is broken but inactive; 4 fails only with gene value 255.
    const std::string file = WriteTemp("check.sub",
                                       "5\r\n"
                                       "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)\r\n"
                                       "8(%3 /%1)\r\n"
                                       "4(1) x\r\n"
                                       "4(\r\n"
                                       "8(100 /(255 -%3))\r\n"
                                       "True\r\nTrue\r\nTrue\r\nFalse\r\nTrue\r\n");
    TRun run = RunTool({"--check", file});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "gene 1: Division by zero\ngene 2: Syntax error.\ngene 4: Division by zero\n");

    const std::string good = WriteTemp("good.sub", "2\r\n4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)\r\n\r\nTrue\r\nTrue\r\n");
    run = RunTool({"--check", good});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "");

    // Gene numbers above 255 cannot be variables.
    std::string big = "300\r\n";
    for (int i = 0; i < 300; ++i)
        big += "8(%2)\r\n";
    for (int i = 0; i < 300; ++i)
        big += i == 299 ? "True\r\n" : "False\r\n";
    run = RunTool({"--check", WriteTemp("big.sub", big)});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "gene 299: Range check error\n");

    run = RunTool({"--check", TempPath("missing.sub")});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("missing.sub"), std::string::npos);
    EXPECT_NE(run.Err.find("No such file or directory"), std::string::npos);

    // Files that are not what they claim fail, each fault by file and line.
    const std::pair<const char*, const char*> claims[] = {
        {"junk", "line 1: the count \"junk\" is no number"},
        {"-1\r\n", "line 1: the count -1 is below 0"},
        {"120\r\n8(1)\r\n8(2)\r\n8(3)\r\n8(4)\r\n8(5)\r\n", "line 7: the file ends; its 120 entries need 241"},
        {"1\r\n8(1)\r\nyes\r\n", "line 3: the flag \"yes\" is neither True nor False"},
    };
    for (const auto& [text, fault] : claims) {
        const std::string claimed = WriteTemp("claims.sub", text);
        run = RunTool({"--check", claimed});
        EXPECT_EQ(run.ExitCode, 2) << text;
        EXPECT_NE(run.Err.find(claimed), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find(fault), std::string::npos) << run.Err;
    }
}
