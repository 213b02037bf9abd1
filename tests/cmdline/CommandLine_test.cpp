// The command-line language end to end: the tokenizer, CCommandLine's switches, the
// parameter files it reads, writes and deletes wherever the temporary path points, the
// spooler's names (also when the spooler fails or answers oddly) and the driver key's
// model id.
#include "cmdline/CommandLine.h"

#include "support/Fault.h"
#include "support/TestEnv.h"

#include <cstring>
#include <sstream>

// The values given, each followed by "|".
template <typename... T>
static std::string Join(const T&... values) {
  std::ostringstream s;
  ((s << values << '|'), ...);
  return s.str();
}

// A text that ends at a guard page, with the tokenizer's own buffer filled from it.
struct CGuardedText : testenv::CGuarded, CSwitchTokenizer {
  explicit CGuardedText(const std::string& s) : CGuarded(s.size() + 1) {
    memcpy(Get(), s.c_str(), s.size() + 1);
    s.copy(m_szCommandLine, sizeof(m_szCommandLine) - 1);
  }
};

// Every switch the tokenizer finds, in order, as "[name|value|result]", up to the first -1.
// The output buffers end at a guard page.
static std::string AllSwitches(const std::string& text, std::string found = "") {
  CGuardedText tokenizer(text);
  testenv::CGuarded name(MAX_PATH), value(MAX_PATH);
  for (int i = 0, result = 0; result != -1 && i < 100; ++i) {
    strcpy(name, "-"), strcpy(value, "");
    result = tokenizer.GetSwitch(i, name, value);
    found += result != -1          ? "[" + std::string(name) + "|" + value.Get() + "|" + std::to_string(result) + "]"
             : name[0] || value[0] ? "<not emptied>"
                                   : "";
  }
  return found;
}

// The letter after a flag must be separated: "/R/I" runs the scan over the second slash. A
// tab or a line end ends a name: flag lines of a file written in text mode end in CR LF. A
// declared length shorter than the value cuts it, and the scan resumes inside the value;
// with a declared length the value may hold quotes and slashes. A declared length running
// past the end, even by one, yields the switch with an empty value; one without any quote
// after it is malformed and ends the scan. An unquoted value is not a value; an unclosed
// one runs to the end, unless it follows the name at once. Lengths that would overflow any
// integer run past the end, never backwards. A value or a name filling the whole text (259
// characters) stays inside the buffers.
TEST(SwitchTokenizer, QuotedValuesFlagsAndDeclaredLengths) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"/r /I", "[r||0][I||0]"},
      {"/R/I", "[R||0]"},
      {"/r\t/I\r\n/E\r\n", "[r||0][I||0][E||0]"},
      {"/P \"a/b\" /O \"LPT1:\"", "[P|a/b|3][O|LPT1:|5]"},
      {"/P3 \"Printer 1\" /O \"x\"", "[P|Pri|3][O|x|1]"},
      {"/P\"Printer 1\"\t/Q \"x\"\r\n/M \"M1\"", "[P|Printer 1|9][Q|x|1][M|M1|2]"},
      {"/P12 \"ab", "[P||12]"},
      {"/P9 \"Printer 1\" /O5 \"LPT1:\" /M0 \"\" /E", "[P|Printer 1|9][O|LPT1:|5][M||0][E||0]"},
      {"/P3 \"ab", "[P||3]"},
      {"/P10 \"a \"b\" /c/d\" /O5 \"LPT1:\"", "[P|a \"b\" /c/d|10][O|LPT1:|5]"},
      {"/P Printer /I", "[P||0][I||0]"},
      {"/I /P5 abcde /O xxxxxxxx", "[I||0]"},
      {"/P \"abc", "[P|abc|3]"},
      {"/P\"abc", "[P||3]"},
      {"/P99999999999999999999 \"x\" /O \"y\"", "[P||100000]"},
      {"/P2147483647 \"x\" /O \"y\"", "[P||100000]"},
      {"/I /P9999999999 /O5 \"LPT1:\"", "[I||0][P||100000]"},
      {"/P \"" + std::string(254, 'v') + "\"", "[P|" + std::string(254, 'v') + "|254]"},
      {"/" + std::string(258, 'N'), "[" + std::string(258, 'N') + "||0]"}};
  for (const auto& c : cases) EXPECT_EQ(c.second, AllSwitches(c.first)) << "text: " << c.first;
}

// /BE needs all four companions: each missing or empty in turn. 259 characters fit the
// tokenizer; 260 do not, and the whole text is refused. /a wins over /f beside it, and
// both files stay; a name with a folder part is deleted as it stands, else in the
// temporary folder.
TEST(CommandLine, SwitchesComeFromTheCommandLineOrAParamFile) {
  for (const char* partial : {"/BE /BU \"U\" /BD \"D\" /BI \"I\"",
                              "/BE /BH \"H\" /BD \"D\" /BI \"I\"",
                              "/BE /BH \"H\" /BU \"U\" /BI \"I\"",
                              "/BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"\""})
    EXPECT_EQ(0, CCommandLine(partial).m_bSwitchBE) << partial;
  const std::string name254(254, 'n'), v259(259, 'v'), dir = testenv::TempDir(), a = dir + "prw3-a.tmp",
                                                       f = dir + "prw3-f.tmp", lines = dir + "prw3-lines.tmp";
  EXPECT_EQ(name254 + "||",
            Join(CCommandLine(CGuardedText("/M \"" + name254 + "\"")).m_szModelID,
                 CCommandLine(CGuardedText("/M \"" + name254 + "x\"")).m_szModelID));
  testenv::WriteFile(a, "/P \"fromA\"\n/M \"MA\"\n");
  testenv::WriteFile(f, "/P \"f\"\n");
  CCommandLine both(("/f \"" + f + "\" /a \"" + a + "\"").c_str());
  EXPECT_EQ(
      "fromA|MA|" + a + "||1|",
      Join(both.m_szPrinterName, both.m_szModelID, both.m_szParamFileF, both.m_szParamFileA, testenv::FileExists(f)));
  EXPECT_EQ("1|1|0|0|",
            Join(both.DeleteParamFile(a.c_str()),
                 both.DeleteParamFile(".\\prw3-f.tmp"),
                 both.DeleteParamFile(nullptr),
                 both.DeleteParamFile("")));
  EXPECT_STREQ("cmd", CCommandLine("/P \"cmd\" /F \"O_PNONE.TMP\"").m_szPrinterName) << "a missing file";

  // A value is cut at its line's last quote; a name ends as in the tokenizer; a line
  // without a switch or without a quoted value sets nothing; /F is never a switch of a
  // file, and /A is recorded, not read. A 259-character value is taken, a 260-character
  // one refused, and a line far beyond the line buffer arrives in pieces that set nothing.
  testenv::WriteFile(
      lines,
      "/P \"a \"quoted\" /name\"\r\nno switch here\n/O LPT9:\n/F \"other.tmp\"\n/A \"recorded.tmp\"\n/BE\n/BH\"h\"\n"
      "/BU\t\"u\"\n/BD \"d\"\n/BI \"i\"\n/J9 \"digits end a name\"\n/" +
          std::string(100, 'P') + " \"too long\"\n/M \"" + v259 + "\"\n/J \"" + v259 + "w\"\n/A \"" + v259 +
          "w\"\n/BN \"" + std::string(5000, 'n') +
          "\"\n"
          "/D0 \"last line without line end\"");
  CCommandLine cl(CGuardedText("/O \"LPT1:\" /A \"" + lines + "\""));
  EXPECT_EQ("a \"quoted\" /name|LPT1:|recorded.tmp|" + lines + "|1|digits end a name|last line without line end|" +
                v259 + "||",
            Join(cl.m_szPrinterName,
                 cl.m_szPortName,
                 cl.m_szParamFileA,
                 cl.m_szParamFileF,
                 cl.m_bSwitchBE,
                 cl.m_szSwitchJ,
                 cl.m_szDriverName,
                 cl.m_szModelID,
                 cl.m_szSwitchBN));
  testenv::RemoveFile(lines);
}

// Switches in any letter case land in their fields, and wherever the temporary path points
// they are written under a bare name, read back by /f (its values overriding the command
// line) and consumed: the platform's folder (~0: as the platform answers), one deeper than
// OpenFile takes, and the current folder when the path fails or does not fit.
TEST(CommandLine, WriteParamFileWritesEveryLineInItsOrderOrLeavesNoFile) {
  const std::string tmp = testenv::TempDir(), deep = tmp + std::string(110, 'u') + "\\";
  CreateDirectoryA(deep.c_str(), nullptr);
  const std::pair<DWORD, std::string> cases[] = {{~0u, tmp}, {0, ".\\"}, {MAX_PATH, ".\\"}, {DWORD(deep.size()), deep}};
  const std::string written =
      "/P \"P\"\r\n/D \"Drv \"q\" /x\"\r\n/O \"L\"\r\n/M \"M\"\r\n/J \"J\"\r\n/S\r\n/R\r\n"
      "/E\r\n/U\r\n/C\r\n/BE\r\n/BH \"H\"\r\n/BU \"U\"\r\n/BD \"D\"\r\n/BI \"I\"\r\n/BN \"N\"\r\n/VQM \"V\"\r\n/I\r\n";
  for (const auto& c : cases) {
    auto r = FAULT_REPLACE(GetTempPathA, [&](auto real, auto n, auto psz) {
      return c.first == ~0u ? real(n, psz) : (strcpy(psz, deep.c_str()), c.first);
    });
    CCommandLine out(
        "/s /R /e /U /c /Be /I /D10 \"Drv \"q\" /x\" /j \"J\" /bH \"H\" /BU \"U\" /bd \"D\" /BI \"I\" "
        "/bn \"N\" /vqm \"V\" /Q \"unknown\"");
    ASSERT_TRUE(out.WriteParamFile("P", "L", "M"));
    const std::string name = out.m_szParamFileA, path = c.second + name;
    EXPECT_EQ(Join(c.second, "O_P", written), Join(out.m_szTempDir, name.substr(0, 3), testenv::ReadFile(path)));
    CCommandLine in(("/M \"cmd\" /f \"" + name + "\"").c_str());
    EXPECT_EQ("Drv \"q\" /x|M|0|", Join(in.m_szDriverName, in.m_szModelID, testenv::FileExists(path)));
  }
  RemoveDirectoryA(deep.c_str());
  // Empty values write no lines; a value holding a line break would split its line. What
  // the writer made it deletes again.
  CCommandLine empty;
  ASSERT_TRUE(empty.WriteParamFile("", "", ""));
  EXPECT_TRUE(testenv::ReadFile(tmp + empty.m_szParamFileA).empty() && empty.DeleteWrittenParamFile());
  EXPECT_EQ(0, CCommandLine().WriteParamFile("\n", "L", "M") + CCommandLine("/J \"\r\"").WriteParamFile("P", "L", "M"));
  // A failed write leaves no name, and the empty file made for the name is deleted again by
  // its full path: a file of the same name in the current folder, which OpenFile's search
  // finds first, is not ours.
  for (const char* failing : {"GetTempFileNameA", "_fsopen"}) {
    std::string made;
    CCommandLine cl;
    auto r = FAULT_REPLACE(GetTempFileNameA, [&](auto real, auto dir, auto prefix, auto u, auto psz) {
      const UINT n = real(dir, prefix, u, psz);
      return testenv::WriteFile(made = strrchr(psz, '\\') + 1, "not ours"), n;
    });
    fault::CHook h(failing, ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ("0||", Join(cl.WriteParamFile("P1", "LPT1:", "M1"), cl.m_szParamFileA)) << failing;
    if (made.empty()) continue;
    EXPECT_EQ("0|not ours|", Join(testenv::FileExists(cl.m_szTempDir + made), testenv::ReadFile(made)));
    testenv::RemoveFile(made);
  }
}

// The file a bare /F name is read from is the one deleted: not one of the same name that a
// search of the Windows folder finds, nor one in the current folder that could not be read.
TEST(CommandLine, TheParameterFileReadIsTheOneDeleted) {
  char szWindows[MAX_PATH] = {0};
  GetWindowsDirectoryA(szWindows, sizeof(szWindows));
  const std::string name = "O_PSAME.TMP", temp = testenv::TempDir() + name;
  for (const std::string& other : {std::string(szWindows) + "\\" + name, name}) {
    testenv::WriteFile(other, "/P \"other\"\n");
    testenv::WriteFile(temp, "/P \"read\"\n");
    fault::CHook unreadable("_fsopen", ERROR_SHARING_VIOLATION, other == name ? 1 : 0);
    const CCommandLine cl(("/F \"" + name + "\"").c_str());
    EXPECT_EQ("read|0|1|", Join(cl.m_szPrinterName, testenv::FileExists(temp), testenv::FileExists(other))) << other;
    testenv::RemoveFile(other);
  }
}

// One object throughout, so that an error must not outlive the call that set it. The
// wide-character call comes only on the NT family, after a failed ANSI call and a good
// conversion; the error kept is that of the call whose result counts. The last rows: a
// record that cannot be read (1), a size answer with another error (3), a driver name too
// long for its field (2), no printer name, no such printer.
TEST(CommandLine, SpoolerAndDriverKeyFillOnlyWhatNoSwitchGave) {
  const std::string printer = testenv::ExistingPrinter(), ok = Join(1, 0, printer, "CUPS:" + printer), driver(300, 'd');
  const DWORD bad = ERROR_INVALID_PRINTER_NAME, invalid = ERROR_NO_UNICODE_TRANSLATION, rpc = RPC_S_SERVER_UNAVAILABLE,
              denied = ERROR_ACCESS_DENIED, nt = VER_PLATFORM_WIN32_NT, win = VER_PLATFORM_WIN32_WINDOWS;
  const struct {
    std::string result;  // filled|error|driver|port|wide calls
    DWORD ansiError = 0, wideError = 0, conversionError = 0, platform = VER_PLATFORM_WIN32_NT, record = 0;
    const char* printer = nullptr;
  } cases[] = {{ok + "0|"},
               {ok + "1|", bad},
               {ok + "1|", invalid},
               {"0|1801|||0|", bad, 0, 0, win},
               {"0|1801|||0|", bad, 0, invalid},
               {"0|1801|||0|", bad, 0, ERROR_INSUFFICIENT_BUFFER},
               {"0|1722|||1|", rpc, rpc},
               {"0|5|||1|", denied, denied},
               {"0|0|||0|", 0, 0, 0, nt, 1},
               {"0|0|||0|", 0, 0, 0, nt, 3},
               {"1|0||CUPS:" + printer + "|0|", 0, 0, 0, nt, 2},
               {"0|0|||0|", 0, 0, 0, nt, 0, ""},
               {"0|1801|||1|", 0, 0, 0, nt, 0, "none"}};
  CCommandLine cl;
  for (const auto& c : cases) {
    strcpy(cl.m_szPrinterName, c.printer ? c.printer : printer.c_str());
    cl.m_szDriverName[0] = cl.m_szPortName[0] = '\0';
    auto v = FAULT_REPLACE(GetVersionExA,
                           [&](auto real, auto p) { return real(p) ? (p->dwPlatformId = c.platform, TRUE) : FALSE; });
    auto g = FAULT_REPLACE(GetPrinterA, [&](auto real, auto h, auto level, auto p, auto... rest) {
      const BOOL b = real(h, level, p, rest...);
      if (c.record == (p ? 1 : 3)) return SetLastError(ERROR_NOT_ENOUGH_MEMORY), FALSE;
      if (p && c.record == 2) reinterpret_cast<PRINTER_INFO_2A*>(p)->pDriverName = const_cast<LPSTR>(driver.c_str());
      return b;
    });
    auto At = [](DWORD dwError) { return dwError ? fault::kEveryCall : 0; };
    fault::CHook a("OpenPrinterA", c.ansiError, At(c.ansiError)), w("OpenPrinterW", c.wideError, At(c.wideError)),
        m("MultiByteToWideChar", c.conversionError, At(c.conversionError)), close("ClosePrinter");
    const BOOL bFilled = cl.FillFromPrinter();
    EXPECT_EQ(c.result, Join(bFilled, cl.m_nPrinterError, cl.m_szDriverName, cl.m_szPortName, w.Calls()));
    EXPECT_EQ(a.Successes() + w.Successes(), close.Calls()) << "a printer left open";
  }
  // The driver key gives the model id unless a switch did; a value of another type is none.
  const std::string p = "/P \"" + printer + "\"", key = "software\\OLMAR\\PRW3\\Driver\\" + printer;
  testenv::SetRegString(HKEY_LOCAL_MACHINE, key, "ModelID", "PRW3DEMO");
  CCommandLine kept((p + " /D \"MyDriver\" /O \"LPT9:\" /M \"M9\"").c_str());
  EXPECT_EQ("PRW3DEMO|MyDriver|LPT9:|M9|",
            Join(CCommandLine(p.c_str()).m_szModelID, kept.m_szDriverName, kept.m_szPortName, kept.m_szModelID));
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, key, "ModelID", 7);
  EXPECT_STREQ("", CCommandLine(p.c_str()).m_szModelID);
}
