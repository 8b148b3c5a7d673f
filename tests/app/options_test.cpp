#include "app/options.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "base/run_state.h"

namespace {

struct TokenCase {
  const wchar_t* source;
  const wchar_t* tokens[4];  // expected tokens in order, null-terminated list
};

const TokenCase kTokenCases[] = {
    {L"", {nullptr}},
    {L"  \t ", {nullptr}},
    {L"a b\tc", {L"a", L"b", L"c", nullptr}},
    {L"\"C:\\Program Files\\Ovenix\\uninstall.exe\" -s", {L"C:\\Program Files\\Ovenix\\uninstall.exe", L"-s", nullptr}},
    {L"-init\"A 1\"x", {L"-initA 1x", nullptr}},
    {L"say\"\"hi\"\"", {L"say\"hi\"", nullptr}},
    {L"\"in \"\"quotes\"\" too\"", {L"in \"quotes\" too", nullptr}},
    {L"\"unterminated quote  runs", {L"unterminated quote  runs", nullptr}},
    {L"  lead trail  ", {L"lead", L"trail", nullptr}},
};

TEST(NextCommandToken, SplitsUnquotesAndKeepsQuotedBlanks) {
  for (const TokenCase& c : kTokenCases) {
    const wchar_t* position = c.source;
    wchar_t token[64];
    for (int i = 0;; ++i) {
      wmemset(token, L'#', 64);
      position = NextCommandToken(position, token, 64);
      if (!c.tokens[i]) {
        EXPECT_EQ(nullptr, position) << "source: " << testing::PrintToString(std::wstring(c.source));
        break;
      }
      ASSERT_NE(nullptr, position) << "missing token " << i;
      EXPECT_STREQ(c.tokens[i], token) << "token " << i;
    }
  }
}

TEST(NextCommandToken, CutsOverlongTokensButConsumesThem) {
  std::wstring longToken(3000, L'x');
  std::wstring source = longToken + L" next";
  wchar_t token[kCommandTokenCapacity];
  token[kCommandTokenCapacity - 1] = L'#';
  bool cut = false;
  const wchar_t* position = NextCommandToken(source.c_str(), token, kCommandTokenCapacity, &cut);
  ASSERT_NE(nullptr, position);
  EXPECT_EQ(kCommandTokenCapacity - 1, wcslen(token));
  EXPECT_TRUE(cut);
  EXPECT_EQ(L' ', *position) << "the token must be consumed to its end";
  position = NextCommandToken(position, token, kCommandTokenCapacity, &cut);
  EXPECT_STREQ(L"next", token);
  EXPECT_FALSE(cut) << "the next token reports its own cut";

  // Exactly as long as the buffer holds, its quotes not counted: nothing dropped.
  NextCommandToken((L"\"" + std::wstring(kCommandTokenCapacity - 1, L'y') + L"\"").c_str(), token, kCommandTokenCapacity,
                   &cut);
  EXPECT_FALSE(cut);

  wchar_t tiny[1] = {L'#'};
  NextCommandToken(L"abc", tiny, 1);
  EXPECT_EQ(0, tiny[0]);
}

struct MatchCase {
  const wchar_t* token;
  const wchar_t* name;
  int count;
  bool matches;
};

const MatchCase kMatchCases[] = {
    {L"setup", L"setup", 5, true},        {L"SETUP", L"setup", 5, true},
    {L"Setup", L"setup", 5, true},        {L"setupX", L"setup", 5, true},
    {L"setu", L"setup", 5, false},        {L"msi", L"msi", 3, true},
    {L"ms", L"msi", 3, false},            {L"noex", L"noexplorer", 4, true},
    {L"noexplorer", L"noexplorer", 4, true}, {L"noe", L"noexplorer", 4, false},
    {L"warn", L"warning", 7, false},      {L"warning", L"warning", 7, true},
    {L"waiting", L"wait", 4, true},       {L"initA1", L"init", 4, true},
    {L"", L"msi", 3, false},
};

TEST(MatchOptionName, ComparesAtMostCountCharactersWithTerminator) {
  for (const MatchCase& c : kMatchCases)
    EXPECT_EQ(c.matches, MatchOptionName(c.token, c.name, c.count))
        << testing::PrintToString(std::wstring(c.token)) << " vs " << testing::PrintToString(std::wstring(c.name));
}

struct ParseResult {
  bool setup;
  bool uninstall;
  bool silent;
  bool msi;
  bool noExplorer;
  const wchar_t* init;
  bool unknown;
  const wchar_t* log = L"";  // the run's log file
  uint32_t restartExitCode = 0;
  bool overlong = false;  // a switch too long to hold
};

// Runs both passes as the entry point does: sfxcmd first, then the command line.
ParseResult Parse(const wchar_t* sfxcmd, const wchar_t* commandLine) {
  RunOptions = RunOptionsRecord{};
  wmemset(RunOptions.InitSelection, 0, kInitSelectionCapacity);
  RunRequests requests = {};
  requests.uninstall = true;  // sentinel: the installer pass must write false
  ParseOptions(true, sfxcmd, &requests);
  EXPECT_FALSE(requests.uninstall) << "the installer pass never asks for uninstall";
  EXPECT_FALSE(requests.unknownSwitch) << "the installer's switches are never unknown";
  ParseOptions(false, commandLine, &requests);
  static wchar_t init[kInitSelectionCapacity];
  wcscpy(init, RunOptions.InitSelection);
  static wchar_t log[kCommandTokenCapacity];
  wcscpy(log, requests.logPath);
  return {requests.setup, requests.uninstall, RunOptions.Silent, RunOptions.MsiMode, RunOptions.NoExplorer, init,
          requests.unknownSwitch, log, requests.restartExitCode, requests.overlongSwitch};
}

const std::wstring kOverlongLog = L"uninstall.exe -s -log=kept.log -log=" + std::wstring(1995, L'x');
const std::wstring kOverlongSilent = L"uninstall.exe -s" + std::wstring(kCommandTokenCapacity - 2, L'1');

struct ModeCase {
  const wchar_t* sfxcmd;
  const wchar_t* commandLine;
  ParseResult expected;
};

const ModeCase kModeCases[] = {
    // sfxcmd, command line: setup, uninstall, silent, msi, noexplorer, init, unknown switch
    {L"", L"uninstall.exe", {false, true, false, false, false, L"", false}},
    {L"", L"uninstall.exe /S", {false, true, true, false, false, L"", false}},
    {L"", L"uninstall.exe -s", {false, true, true, false, false, L"", false}},
    {L"", L"uninstall.exe -s1", {false, true, true, false, false, L"", false}},
    {L"", L"uninstall.exe -s2", {false, true, true, false, false, L"", false}},
    {L"", L"uninstall.exe -sx", {false, false, false, false, false, L"", true}},
    {L"", L"uninstall.exe -setup -s", {true, false, true, false, false, L"", false}},
    {L"-s", L"uninstall.exe -setup", {true, false, true, false, false, L"", false}},
    {L"-setup", L"uninstall.exe", {false, true, false, false, false, L"", false}},
    {L"-msi -initA1", L"uninstall.exe", {false, true, false, false, false, L"", false}},
    {L"", L"uninstall.exe -SETUP", {true, false, false, false, false, L"", false}},
    {L"", L"uninstall.exe /Setup", {true, false, false, false, false, L"", false}},
    {L"", L"uninstall.exe -setupX", {true, false, false, false, false, L"", false}},
    {L"", L"uninstall.exe -setu", {false, false, false, false, false, L"", true}},
    {L"", L"uninstall.exe -noex", {false, false, false, false, true, L"", false}},
    {L"", L"uninstall.exe -noexplorer -msi", {false, false, false, true, true, L"", false}},
    {L"", L"uninstall.exe -warn", {false, false, false, false, false, L"", true}},
    {L"", L"uninstall.exe -unknown /x", {false, false, false, false, false, L"", true}},
    {L"", L"uninstall.exe -setup -init", {true, false, false, false, false, L"", false}},
    {L"", L"uninstall.exe -setup -initA1111", {true, false, false, false, false, L"A1111", false}},
    {L"", L"uninstall.exe -setup \"-initV1 Z0\"", {true, false, false, false, false, L"V1 Z0", false}},
    {L"", L"uninstall.exe -init0123456789012345678901234567890123456789XYZ",
     {false, false, false, false, false, L"012345678901234567890123456789012345678", false}},
    {L"", L"stray words only", {false, true, false, false, false, L"", false}},
    {L"", L"uninstall.exe /VERYSILENT /NORESTART", {false, false, false, false, false, L"", true}},
    {L"", L"uninstall.exe -setup -x -s", {true, false, true, false, false, L"", true}},
    {L"-x /VERYSILENT", L"uninstall.exe", {false, true, false, false, false, L"", false}},
    // sfxcmd, command line: setup, uninstall, silent, msi, noexplorer, init, unknown switch, log
    {L"", L"uninstall.exe /S /log=x.log", {false, true, true, false, false, L"", false, L"x.log"}},
    {L"", L"uninstall.exe -setup -s \"-LOG=C:\\my logs\\run.log\"", {true, false, true, false, false, L"", false,
                                                                       L"C:\\my logs\\run.log"}},
    {L"", L"uninstall.exe -log=\"C:\\a b.log\"", {false, true, false, false, false, L"", false, L"C:\\a b.log"}},
    {L"", L"uninstall.exe -logo", {false, false, false, false, false, L"", true}},
    {L"", L"uninstall.exe -log", {false, false, false, false, false, L"", true}},
    {L"", L"uninstall.exe -log=", {false, false, false, false, false, L"", true}},
    {L"-log=x.log", L"uninstall.exe", {false, true, false, false, false, L"", false}},
    // sfxcmd, command line: setup, uninstall, silent, msi, noexplorer, init, unknown, log, restart code
    {L"", L"uninstall.exe /S -restartexitcode=3010", {false, true, true, false, false, L"", false, L"", 3010}},
    {L"", L"uninstall.exe -s -RESTARTEXITCODE=65535 -log=r.log", {false, true, true, false, false, L"", false,
                                                                   L"r.log", 65535}},
    {L"", L"uninstall.exe -s -restartexitcode=0", {false, false, true, false, false, L"", true}},
    {L"", L"uninstall.exe -s -restartexitcode=65536", {false, false, true, false, false, L"", true}},
    {L"", L"uninstall.exe -s -restartexitcode=4294970306", {false, false, true, false, false, L"", true}},
    {L"", L"uninstall.exe -s -restartexitcode=", {false, false, true, false, false, L"", true}},
    {L"", L"uninstall.exe -s -restartexitcode=3010x", {false, false, true, false, false, L"", true}},
    // sfxcmd, command line: setup, uninstall, silent, msi, noexplorer, init, unknown, log, restart, over-long
    {L"", kOverlongLog.c_str(), {false, false, true, false, false, L"", false, L"kept.log", 0, true}},
    {L"", kOverlongSilent.c_str(), {false, false, false, false, false, L"", false, L"", 0, true}},
};

TEST(ParseOptions, DecidesTheModeAndTheRunOptions) {
  for (const ModeCase& c : kModeCases) {
    const ParseResult actual = Parse(c.sfxcmd, c.commandLine);
    const std::string context = testing::PrintToString(std::wstring(c.sfxcmd)) + " / " +
                                testing::PrintToString(std::wstring(c.commandLine));
    EXPECT_EQ(c.expected.setup, actual.setup) << context;
    EXPECT_EQ(c.expected.uninstall, actual.uninstall) << context;
    EXPECT_EQ(c.expected.silent, actual.silent) << context;
    EXPECT_EQ(c.expected.msi, actual.msi) << context;
    EXPECT_EQ(c.expected.noExplorer, actual.noExplorer) << context;
    EXPECT_STREQ(c.expected.init, actual.init) << context;
    EXPECT_EQ(c.expected.unknown, actual.unknown) << context;
    EXPECT_STREQ(c.expected.log, actual.log) << context;
    EXPECT_EQ(c.expected.restartExitCode, actual.restartExitCode) << context;
    EXPECT_EQ(c.expected.overlong, actual.overlong) << context;
    EXPECT_FALSE(actual.setup && actual.uninstall) << "the two modes exclude each other: " << context;
  }
}

// A done run that scheduled something, with the switch and without: the end-to-end FilesInUse rows.
TEST(UninstallExitCode, TheRestartCodeReplacesOnlyADoneRunsCodeAndOnlyWhenSomethingWaits) {
  EXPECT_EQ(0u, UninstallExitCode(kExitDone, /*restartScheduled=*/false, 3010)) << "nothing waits for the restart";
  EXPECT_EQ(82u, UninstallExitCode(kExitCannotMake, /*restartScheduled=*/true, 3010)) << "a failure's code wins";
}

TEST(ParseOptions, AbsentInstallerTextChangesNothing) {
  RunOptions = RunOptionsRecord{};
  RunRequests requests = {};
  requests.uninstall = true;
  ParseOptions(true, nullptr, &requests);  // the empty text is a row of the table above
  EXPECT_FALSE(requests.setup);
  EXPECT_FALSE(requests.uninstall);
  EXPECT_FALSE(RunOptions.Silent);
}

}  // namespace
