// The command-line language end to end: the tokenizer, CCommandLine's switches, the
// parameter files it reads, writes and deletes wherever the temporary path points, the
// spooler's names (also when the spooler fails or answers oddly) and the driver key's
// model id.
#include "cmdline/CommandLine.h"

#include "support/Fault.h"
#include "support/TestEnv.h"

#include <cstring>
#include <random>

namespace {

// A text that ends at a guard page, with the tokenizer's own buffer filled from it.
struct CGuardedText : testenv::CGuarded, CSwitchTokenizer {
  explicit CGuardedText(const std::string& s) : CGuarded(s.size() + 1) {
    memcpy(Get(), s.c_str(), s.size() + 1);
    s.copy(m_szCommandLine, sizeof(m_szCommandLine) - 1);
  }
};

// Every switch the tokenizer finds, in order, as "[name|value|result]", up to the first -1,
// which must come (a text of 259 characters holds no 200 switches) and leave both fields
// empty. No result is below -1. The output buffers end at a guard page.
std::string AllSwitches(const std::string& text) {
  SCOPED_TRACE(testing::PrintToString(text));
  CGuardedText tokenizer(text);
  testenv::CGuarded name(MAX_PATH), value(MAX_PATH);
  std::string found;
  int result = 0;
  for (int i = 0; i < 200 && result != -1; ++i) {
    strcpy(name, "-");
    strcpy(value, "");
    result = tokenizer.GetSwitch(i, name, value);
    EXPECT_GE(result, -1);
    if (result != -1) found += "[" + std::string(name) + "|" + value.Get() + "|" + std::to_string(result) + "]";
  }
  EXPECT_EQ("-1|", std::to_string(result) + "|" + name.Get() + value.Get());
  return found;
}

// The string members by their switch's name (F and A: the parameter files' names).
std::vector<std::pair<const char*, const char*>> Strings(const CCommandLine& cl) {
  return {{"P", cl.m_szPrinterName},
          {"D", cl.m_szDriverName},
          {"O", cl.m_szPortName},
          {"M", cl.m_szModelID},
          {"F", cl.m_szParamFileF},
          {"A", cl.m_szParamFileA},
          {"J", cl.m_szSwitchJ},
          {"BH", cl.m_szSwitchBH},
          {"BU", cl.m_szSwitchBU},
          {"BD", cl.m_szSwitchBD},
          {"BI", cl.m_szSwitchBI},
          {"BN", cl.m_szSwitchBN},
          {"VQM", cl.m_szSwitchVQM}};
}

// What a parse left: "name=value" for each string set, the name of each flag set, and
// "!error" when the printer could not be opened.
std::string Fields(const CCommandLine& c) {
  std::string s;
  for (const auto& [name, value] : Strings(c))
    if (value[0]) s += std::string(" ") + name + "=" + value;
  const int set[] = {c.m_bRemove, c.m_bSwitchS, c.m_bSwitchE, c.m_bSwitchC, c.m_bSwitchU, c.m_bSwitchBE, c.m_bInstall};
  const char* const flags[] = {"R", "S", "E", "C", "U", "BE", "I"};
  for (size_t i = 0; i < std::size(flags); ++i)
    if (set[i]) s += std::string(" ") + flags[i];
  if (c.m_nPrinterError) s += " !" + std::to_string(c.m_nPrinterError);
  return s.empty() ? s : s.substr(1);
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
  for (const auto& [text, expected] : cases) EXPECT_EQ(expected, AllSwitches(text));
}

// /BE needs all four companions (with all four it stays: see the file written below). 259
// characters fit the tokenizer; 260 do not, and the whole text is refused. /a wins over /f
// beside it, and both files stay. In a file, a value is cut at its line's last quote; a
// name ends as in the tokenizer; a line without a switch or without a quoted value sets
// nothing; /F is never a switch of a file, and /A is recorded, not read. A 259-character
// value is taken, a 260-character one refused, and a line far beyond the line buffer
// arrives in pieces that set nothing.
TEST(CommandLine, SwitchesComeFromTheCommandLineOrAParamFile) {
  const std::string dir = testenv::TempDir(), a = dir + "prw3-a.tmp", f = dir + "prw3-f.tmp";
  const std::string lines = dir + "prw3-lines.tmp", n254(254, 'n'), v259(259, 'v');
  testenv::WriteFile(a, "/P \"fromA\"\n/M \"MA\"\n");
  testenv::WriteFile(f, "/P \"f\"\n");
  testenv::WriteFile(lines,
                     "/P \"a \"quoted\" /name\"\r\nno switch here\n/O LPT9:\n/F \"other.tmp\"\n/A \"recorded.tmp\"\n"
                     "/BE\n/BH\"h\"\n/BU\t\"u\"\n/BD \"d\"\n/BI \"i\"\n/J9 \"digits end a name\"\n/" +
                         std::string(100, 'P') + " \"too long\"\n/M \"" + v259 + "\"\n/J \"" + v259 + "w\"\n/A \"" +
                         v259 + "w\"\n/BN \"" + std::string(5000, 'n') + "\"\n/D0 \"last line without line end\"");
  const std::pair<std::string, std::string> cases[] = {
      {"/BE /BU \"U\" /BD \"D\" /BI \"I\"", "BU=U BD=D BI=I"},
      {"/BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"\"", "BH=H BU=U BD=D"},
      {"/M \"" + n254 + "\"", "M=" + n254},
      {"/M \"" + n254 + "x\"", ""},
      {"/f \"" + f + "\" /a \"" + a + "\"", "P=fromA M=MA F=" + a + " !1801"},
      {"/P \"cmd\" /F \"O_PNONE.TMP\"", "P=cmd F=O_PNONE.TMP !1801"},
      {"/O \"LPT1:\" /A \"" + lines + "\"",
       "P=a \"quoted\" /name D=last line without line end O=LPT1: M=" + v259 + " F=" + lines +
           " A=recorded.tmp J=digits end a name BH=h BU=u BD=d BI=i BE !1801"}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(expected, Fields(CCommandLine(CGuardedText(text)))) << text;
  EXPECT_TRUE(testenv::FileExists(a) && testenv::FileExists(f));
  // A name with a folder part is deleted as it stands, else in the temporary folder.
  CCommandLine cl;
  EXPECT_TRUE(cl.DeleteParamFile(a.c_str()) && cl.DeleteParamFile(".\\prw3-f.tmp"));
  EXPECT_FALSE(cl.DeleteParamFile(nullptr) || cl.DeleteParamFile("") || testenv::FileExists(f));
  testenv::RemoveFile(lines);
  // The file a bare /F name is read from is the one deleted: not one of the same name that a
  // search of the Windows folder finds, nor one in the current folder that could not be read.
  char szWindows[MAX_PATH] = "";
  const std::string name = "O_PSAME.TMP", windows(szWindows, GetWindowsDirectoryA(szWindows, MAX_PATH));
  for (const std::string& other : {windows + "\\" + name, name}) {
    testenv::WriteFile(other, "/P \"other\"\n");
    testenv::WriteFile(dir + name, "/P \"read\"\n");
    auto unreadable = FAULT_REPLACE(_fsopen, [&](auto real, const char* path, const char* mode, int share) {
      return other == name && name == path ? nullptr : real(path, mode, share);
    });
    EXPECT_STREQ("read", CCommandLine(("/F \"" + name + "\"").c_str()).m_szPrinterName) << other;
    EXPECT_TRUE(!testenv::FileExists(dir + name) && testenv::FileExists(other)) << other;
    testenv::RemoveFile(other);
  }
}

// Switches in any letter case land in their fields, and wherever the temporary path points
// they are written under a bare name, read back by /f (its values overriding the command
// line) and consumed: the platform's folder, one deeper than OpenFile takes, and the
// current folder when the path fails or does not fit.
TEST(CommandLine, WriteParamFileWritesEveryLineInItsOrderOrLeavesNoFile) {
  const std::string tmp = testenv::TempDir(), deep = tmp + std::string(110, 'u') + "\\";
  CreateDirectoryA(deep.c_str(), nullptr);
  // The temporary path's length (kAsIs: as the platform answers) and where the file lands.
  const DWORD kAsIs = ~0u;
  const std::pair<DWORD, std::string> cases[] = {
      {kAsIs, tmp}, {0, ".\\"}, {MAX_PATH, ".\\"}, {DWORD(deep.size()), deep}};
  const std::string written =
      "/P \"P\"\r\n/D \"Drv \"q\" /x\"\r\n/O \"L\"\r\n/M \"M\"\r\n/J \"J\"\r\n/S\r\n/R\r\n"
      "/E\r\n/U\r\n/C\r\n/BE\r\n/BH \"H\"\r\n/BU \"U\"\r\n/BD \"D\"\r\n/BI \"I\"\r\n/BN \"N\"\r\n/VQM \"V\"\r\n/I\r\n";
  for (const auto& [length, folder] : cases) {
    auto path = FAULT_REPLACE(GetTempPathA, [&](auto real, DWORD cch, LPSTR psz) {
      if (length == kAsIs) return real(cch, psz);
      strcpy(psz, deep.c_str());
      return length;
    });
    CCommandLine out(
        "/s /R /e /U /c /Be /I /D10 \"Drv \"q\" /x\" /j \"J\" /bH \"H\" /BU \"U\" /bd \"D\" /BI \"I\" "
        "/bn \"N\" /vqm \"V\" /Q \"unknown\"");
    ASSERT_TRUE(out.WriteParamFile("P", "L", "M"));
    const std::string name = out.m_szParamFileA;
    EXPECT_EQ(folder + "O_P|" + written, out.m_szTempDir + name.substr(0, 3) + "|" + testenv::ReadFile(folder + name));
    EXPECT_EQ("P=P D=Drv \"q\" /x O=L M=M F=" + name + " J=J BH=H BU=U BD=D BI=I BN=N VQM=V R S E C U BE I",
              Fields(CCommandLine(("/M \"cmd\" /f \"" + name + "\"").c_str())));
    EXPECT_FALSE(testenv::FileExists(folder + name));
  }
  RemoveDirectoryA(deep.c_str());
  // Empty values write no lines; a value holding a line break would split its line. What
  // the writer made it deletes again.
  CCommandLine empty;
  ASSERT_TRUE(empty.WriteParamFile("", "", ""));
  const std::string emptyFile = tmp + empty.m_szParamFileA;
  EXPECT_EQ("", testenv::ReadFile(emptyFile));
  EXPECT_TRUE(empty.DeleteWrittenParamFile() && !testenv::FileExists(emptyFile));
  EXPECT_FALSE(CCommandLine().WriteParamFile("\n", "L", "M"));
  EXPECT_FALSE(CCommandLine("/J \"\r\"").WriteParamFile("P", "L", "M"));
  // A failed write leaves no name, and the empty file made for the name is deleted again by
  // its full path: a file of the same name in the current folder, which OpenFile's search
  // finds first, is not ours. It fails without a name, without the file opened, with every
  // line refused (opened for reading, the file refuses them as a full drive does), or with
  // the close failing to write out what is buffered.
  for (int failing = 0; failing < 4; ++failing) {
    std::string made;
    auto name = FAULT_REPLACE(GetTempFileNameA, [&](auto real, LPCSTR dir, LPCSTR prefix, UINT u, LPSTR psz) {
      const UINT n = real(dir, prefix, u, psz);
      made = strrchr(psz, '\\') + 1;
      testenv::WriteFile(made, "not ours");
      return n;
    });
    fault::CHook refused(failing ? "_fsopen" : "GetTempFileNameA", failing < 2 ? ERROR_ACCESS_DENIED : 0);
    auto readOnly = FAULT_REPLACE(_fsopen, [&](auto real, const char* path, const char* mode, int share) {
      return real(path, failing == 2 ? "rt" : mode, share);
    });
    auto close = FAULT_REPLACE(fclose, [&](auto real, FILE* file) { return real(file) || failing == 3 ? EOF : 0; });
    CCommandLine cl;
    EXPECT_TRUE(!cl.WriteParamFile("P1", "LPT1:", "M1") && !cl.m_szParamFileA[0]) << failing;
    if (made.empty()) continue;
    EXPECT_FALSE(testenv::FileExists(cl.m_szTempDir + made));
    EXPECT_EQ("not ours", testenv::ReadFile(made));
    testenv::RemoveFile(made);
  }
}

// One object throughout, so that an error must not outlive the call that set it. When the
// ANSI open fails, the name converted to wide characters is opened instead; the error kept
// is that of the call whose result counts. MultiByteToWideChar refuses MB_PRECOMPOSED under
// the UTF-8 code page (a documented rule this prefix's code page, 1252, cannot show): the
// conversion goes without it there. The record may not be readable (its read or the size
// answer fails), or hold a driver name too long for its field.
TEST(CommandLine, SpoolerAndDriverKeyFillOnlyWhatNoSwitchGave) {
  const std::string printer = testenv::ExistingPrinter(), port = "CUPS:" + printer, driver(300, 'd');
  const std::string both = printer + "|" + port, pre = std::to_string(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
  const DWORD bad = ERROR_INVALID_PRINTER_NAME, denied = ERROR_ACCESS_DENIED;
  enum Record { kRead, kReadFails, kSizeFails, kLongDriver };
  const struct {
    DWORD ansiError, wideError, conversionError;  // each, if not 0, fails every call of its import
    UINT codePage;                                // 0: the prefix's own
    Record record;
    std::string printer, result;  // result: filled|error|driver|port|the conversion's flags
  } cases[] = {
      {0, 0, 0, 0, kRead, printer, "1|0|" + both + "|0"},
      {bad, 0, 0, 0, kRead, printer, "1|0|" + both + "|" + pre},
      {bad, 0, 0, CP_UTF8, kRead, printer, "1|0|" + both + "|" + std::to_string(MB_ERR_INVALID_CHARS)},
      {bad, denied, 0, 0, kRead, printer, "0|5|||" + pre},
      {bad, 0, ERROR_INSUFFICIENT_BUFFER, 0, kRead, printer, "0|1801|||0"},
      {0, 0, 0, 0, kReadFails, printer, "0|0|||0"},
      {0, 0, 0, 0, kSizeFails, printer, "0|0|||0"},
      {0, 0, 0, 0, kLongDriver, printer, "1|0||" + port + "|0"},
      {0, 0, 0, 0, kRead, "", "0|0|||0"},
      {0, 0, 0, 0, kRead, "none", "0|1801|||" + pre},
      {0, 0, 0, 0, kRead, "prw3test2", "1|0|prw3test2|CUPS:prw3test2|0"},
  };
  CCommandLine cl;
  for (const auto& c : cases) {
    strcpy(cl.m_szPrinterName, c.printer.c_str());
    cl.m_szDriverName[0] = '\0';
    cl.m_szPortName[0] = '\0';
    auto read = FAULT_REPLACE(GetPrinterA, [&](auto real, HANDLE h, DWORD level, LPBYTE p, DWORD cb, LPDWORD pcb) {
      const BOOL bRead = real(h, level, p, cb, pcb);
      if (c.record == (p ? kReadFails : kSizeFails)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
      }
      if (p && c.record == kLongDriver)
        reinterpret_cast<PRINTER_INFO_2A*>(p)->pDriverName = const_cast<LPSTR>(driver.c_str());
      return bRead;
    });
    auto acp = FAULT_REPLACE(GetACP, [&](auto real) { return c.codePage ? c.codePage : real(); });
    DWORD dwFlags = 0;
    auto convert = FAULT_REPLACE(MultiByteToWideChar, [&](auto real, UINT nCodePage, DWORD dw, auto... rest) {
      dwFlags = dw;
      return real(nCodePage, dw, rest...);
    });
    fault::CHook a("OpenPrinterA", c.ansiError), w("OpenPrinterW", c.wideError);
    fault::CHook m("MultiByteToWideChar", c.conversionError);
    fault::CHook close("ClosePrinter");
    const BOOL bFilled = cl.FillFromPrinter();
    const std::string names = std::string(cl.m_szDriverName) + "|" + cl.m_szPortName + "|" + std::to_string(dwFlags);
    EXPECT_EQ(c.result, std::to_string(bFilled) + "|" + std::to_string(cl.m_nPrinterError) + "|" + names) << &c - cases;
    // No printer left open.
    EXPECT_EQ(a.Successes() + w.Successes(), close.Calls());
  }
  // The driver key gives the model id unless a switch did; a value of another type is none.
  const std::string p = "/P \"" + printer + "\"", key = "software\\OLMAR\\PRW3\\Driver\\" + printer;
  testenv::SetRegString(HKEY_LOCAL_MACHINE, key, "ModelID", "PRW3DEMO");
  EXPECT_EQ("P=" + printer + " D=" + printer + " O=" + port + " M=PRW3DEMO", Fields(CCommandLine(p.c_str())));
  EXPECT_EQ("P=" + printer + " D=MyDriver O=LPT9: M=M9",
            Fields(CCommandLine((p + " /D \"MyDriver\" /O \"LPT9:\" /M \"M9\"").c_str())));
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, key, "ModelID", 7);
  EXPECT_EQ("P=" + printer + " D=" + printer + " O=" + port, Fields(CCommandLine(p.c_str())));
}

std::string g_current;  // the part, seed and input running, named if the process dies on them

// A starting input changed a few times: tokens of the language, random bytes and long runs
// (often of the character before) put in, runs cut out.
std::string Mutated(std::mt19937& rng, const std::vector<std::string>& starts, const std::vector<std::string>& tokens) {
  std::string s = starts[rng() % starts.size()];
  for (int k = rng() % 6; k >= 0; --k) {
    const size_t at = rng() % (s.size() + 1), n = rng() % 300, nWhat = rng() % 6;
    if (nWhat == 0)
      s.erase(at, n % 16);
    else if (nWhat == 1)
      s.insert(at, n, at && rng() % 2 ? s[at - 1] : "x\"/,9 \n"[rng() % 7]);
    else if (nWhat == 2)
      s.insert(at, 1, static_cast<char>(rng()));
    else
      s.insert(at, tokens[rng() % tokens.size()]);
  }
  return s;
}

// Fuzzing what comes from outside: seeded random and mutated command lines, and for every
// fifth seed a parameter file named by /A (kept) or /F (read, then deleted), by its path or
// its bare name. The tokenizer's output buffers lie against guard pages, every parse is held
// to what is true for any input, and nothing taken stays open. PRW3_FUZZ_SEED=n replays
// seed n; a failure, or a crash, names the seed and the input.
TEST(CommandLineFuzz, AnyTextOrParameterFileKeepsTheInvariants) {
  const LPTOP_LEVEL_EXCEPTION_FILTER pfnOld = SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
    fprintf(stderr, "died on %s\n", g_current.c_str());
    return EXCEPTION_CONTINUE_SEARCH;
  });
  // Keys, files and printers: what the first four acquire, the other three must give back.
  fault::CHook keyOpen("RegOpenKeyExA"), fileOpen("_fsopen"), ansiOpen("OpenPrinterA"), wideOpen("OpenPrinterW");
  fault::CHook keyClose("RegCloseKey"), fileClose("fclose"), printerClose("ClosePrinter");
  const std::string path = testenv::TempDir() + "O_PFUZZ.TMP";
  const char* pszSeed = getenv("PRW3_FUZZ_SEED");
  const int nFirst = pszSeed ? atoi(pszSeed) : 0, nEnd = pszSeed ? nFirst + 1 : 3000;
  for (int seed = nFirst; seed < nEnd && !HasFailure(); ++seed) {
    std::mt19937 rng(seed);
    const bool bFile = seed % 5 == 4;
    std::string text, file;
    fault::CHook noDelete("DeleteFileA", bFile ? 0 : ERROR_ACCESS_DENIED);  // /F deletes where it finds
    if (bFile) {
      file = Mutated(
          rng,
          {"/P \"Office Printer\"\r\n/O \"LPT1:\"\r\n/M \"M1\"\r\n/D \"Drv\"\r\n/I\r\n",
           "/A \"other.tmp\"\n/P \"quoted \"inner\" value\"\n/BH\n/F \"x\"\n/P1 \"no line end\"",
           "no switch\n\n/\n\"\n/D \"unterminated\x1a/M \"after eof\"",
           "/J \"" + std::string(1400, 'x') + "\"\n/P \"a\"\n"},
          {"/P \"", "/D", "/A \"", "/F \"", "/BH", "/VQM", "\"", "\r\n", "\n", "\r", "\x1a", std::string(1, '\0')});
      testenv::WriteFile(path, file);
      const bool bKeep = rng() % 2, bBare = rng() % 2;
      text = std::string(bKeep ? "/A \"" : "/F \"") + (bBare ? "O_PFUZZ.TMP" : path) + "\"";
    } else {
      text = Mutated(rng,
                     {"/P \"Office Printer\" /O \"LPT1:\" /M \"M1\" /D \"Drv\"",
                      "/P9 \"Printer 1\" /O5 \"LPT1:\" /M6 \"Model1\" /P3 \"Printer 1\" /P12 \"ab",
                      "/P \"a/b\" /O\"LP\" /M \"M\"1\" \"/D",
                      "/F \"O_P1.TMP\" /A \"C:\\users\\x.TMP\" /Q \"x\"",
                      "/r /I /S /U /C /E /J \"J\" /BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"I\" /BN \"N\" /VQM \"V\""},
                     {"/P", "/BE", "/BH", "/F", "/P12 \"", " \"", "\"", "\n", "9"});
    }
    g_current = "PRW3_FUZZ_SEED=" + std::to_string(seed) + ": " + testing::PrintToString(text);
    if (bFile) g_current += " holding " + testing::PrintToString(file);
    SCOPED_TRACE(g_current);
    AllSwitches(text);
    const CCommandLine cl{CGuardedText(text)};
    for (const auto& [switchName, psz] : Strings(cl)) EXPECT_LT(strnlen(psz, MAX_PATH), MAX_PATH) << switchName;
    // /BE never stands without its companions.
    EXPECT_TRUE(!cl.m_bSwitchBE ||
                (cl.m_szSwitchBH[0] && cl.m_szSwitchBU[0] && cl.m_szSwitchBD[0] && cl.m_szSwitchBI[0]));
    // The file is kept exactly for /A.
    EXPECT_TRUE(!bFile || (text[1] == 'A') == testenv::FileExists(path));
    EXPECT_EQ(keyOpen.Successes() + fileOpen.Successes() + ansiOpen.Successes() + wideOpen.Successes(),
              keyClose.Calls() + fileClose.Calls() + printerClose.Calls());
  }
  testenv::RemoveFile(path);
  SetUnhandledExceptionFilter(pfnOld);
}

}  // namespace
