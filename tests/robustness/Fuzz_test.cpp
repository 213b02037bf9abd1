// Fuzzing in the unit run: each parser of outside input gets seeded random and mutated
// inputs, its output buffers against guard pages, and is held to what is true for any input.
// PRW3_FUZZ_SEED=n replays seed n; a failure names its part, seed and input.
#include "cmdline/CommandLine.h"
#include "frame/MainFrame.h"
#include "profile/LanguageProfile.h"
#include "shared/MonitorTable.h"
#include "support/DriverPackage.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <random>

namespace {

std::string g_current;  // the part, seed and input running, named if the process dies on them

// A starting input changed a few times: tokens of the parser's language, random bytes and
// long runs (often of the character before) put in, runs cut out.
std::string Input(std::mt19937& rng, const std::vector<std::string>& starts, const std::vector<std::string>& tokens) {
  std::string s = starts[rng() % starts.size()];
  for (int k = rng() % 6; k >= 0; --k) {
    const size_t at = rng() % (s.size() + 1), n = rng() % 300, nWhat = rng() % 6;
    if (nWhat == 0)
      s.erase(at, n % 16);
    else if (nWhat == 1)
      s.insert(at, n, at && rng() % 2 ? s[at - 1] : "x\"/,9 \n"[rng() % 7]);
    else
      s.insert(at, nWhat == 2 ? std::string(1, static_cast<char>(rng())) : tokens[rng() % tokens.size()]);
  }
  return s;
}

// Writes a file with calls the parsers do not make, so that only their fclose calls count.
void WriteFile(const std::string& path, const std::string& bytes) {
  const HFILE hFile = _lcreat(path.c_str(), 0);
  _lwrite(hFile, bytes.data(), static_cast<UINT>(bytes.size())), _lclose(hFile);
}

// The tokenizer with its text set directly, as the parser's constructor leaves it.
struct CTokenizer : CSwitchTokenizer {
  explicit CTokenizer(const std::string& text) { text.copy(m_szCommandLine, MAX_PATH - 1); }
};

TEST(Fuzz, EveryParserKeepsItsInvariantsOnAnyInput) {
  const LPTOP_LEVEL_EXCEPTION_FILTER pfnOld = SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
    return fprintf(stderr, "died on %s\n", g_current.c_str()), EXCEPTION_CONTINUE_SEARCH;
  });
  // Before the counting starts: GoogleTest's first trace on a thread opens and closes a
  // handle, and reading the package's parameters closes a file.
  SCOPED_TRACE("replay one seed with PRW3_FUZZ_SEED=<seed> in the environment");
  HMODULE hResDll = LoadLibraryA(
      (std::string(getenv("PRW3_BIN_DIR")) + "\\driver\\package\\" + testenv::DemoPackageParam("RES_DLL_ENGLISH"))
          .c_str());
  // Keys, views, handles, files, printers and bitmaps: what the first eleven acquire, the
  // other seven must give back.
  std::deque<fault::CHook> hooks;
  for (const char* psz : {"RegOpenKeyExA",
                          "RegCreateKeyExA",
                          "MapViewOfFile",
                          "CreateFileMappingA",
                          "OpenFileMappingA",
                          "CreateMutexA",
                          "_fsopen",
                          "OpenPrinterA",
                          "OpenPrinterW",
                          "FindFirstFileA",
                          "LoadBitmapA",
                          "RegCloseKey",
                          "UnmapViewOfFile",
                          "CloseHandle",
                          "fclose",
                          "ClosePrinter",
                          "FindClose",
                          "DeleteObject"})
    hooks.emplace_back(psz);
  auto forSeeds = [&](const char* pszPart, int nSeeds, const std::function<void(std::mt19937&)>& run) {
    const char* pszSeed = getenv("PRW3_FUZZ_SEED");
    const int nFirst = pszSeed ? atoi(pszSeed) : 0, nEnd = pszSeed ? nFirst + 1 : nSeeds;
    for (int seed = nFirst; seed < nEnd && !HasFailure(); ++seed) {
      SCOPED_TRACE(g_current = std::string(pszPart) + ", PRW3_FUZZ_SEED=" + std::to_string(seed));
      std::mt19937 rng(seed);
      run(rng);
      int nHeld = 0;
      for (size_t i = 0; i < hooks.size(); ++i)
        nHeld += i < 11 ? static_cast<int>(hooks[i].Successes()) : -static_cast<int>(hooks[i].Calls());
      EXPECT_EQ(0, nHeld) << "acquired and not given back";
    }
  };
  auto checkParsed = [](const CCommandLine& cl) {
    for (const char* psz : {cl.m_szTempDir,
                            cl.m_szPrinterName,
                            cl.m_szDriverName,
                            cl.m_szPortName,
                            cl.m_szModelID,
                            cl.m_szParamFileF,
                            cl.m_szParamFileA,
                            cl.m_szSwitchJ,
                            cl.m_szSwitchBH,
                            cl.m_szSwitchBU,
                            cl.m_szSwitchBD,
                            cl.m_szSwitchBI,
                            cl.m_szSwitchBN,
                            cl.m_szSwitchVQM})
      EXPECT_LT(strnlen(psz, MAX_PATH), MAX_PATH);
    EXPECT_TRUE(!cl.m_bSwitchBE ||
                (cl.m_szSwitchBH[0] && cl.m_szSwitchBU[0] && cl.m_szSwitchBD[0] && cl.m_szSwitchBI[0]))
        << "/BE without a companion";
  };

  testenv::CGuarded name(MAX_PATH), value(MAX_PATH);
  {
    fault::CHook noDelete("DeleteFileA", ERROR_ACCESS_DENIED, fault::kEveryCall);  // /F deletes where it finds
    forSeeds("command line", 2500, [&](std::mt19937& rng) {
      const std::string text =
          Input(rng,
                {"/P \"Office Printer\" /O \"LPT1:\" /M \"M1\" /D \"Drv\"",
                 "/P9 \"Printer 1\" /O5 \"LPT1:\" /M6 \"Model1\" /P3 \"Printer 1\" /P12 \"ab",
                 "/P \"a/b\" /O\"LP\" /M \"M\"1\" \"/D",
                 "/F \"O_P1.TMP\" /A \"C:\\users\\x.TMP\" /Q \"x\"",
                 "/r /I /S /U /C /E /J \"J\" /BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"I\" /BN \"N\" /VQM \"V\""},
                {"/P", "/BE", "/BH", "/F", "/P12 \"", " \"", "\"", "\n", "9"});
      SCOPED_TRACE(g_current += ": " + testing::PrintToString(text));
      CTokenizer tokenizer(text);
      int nResult = 0;
      for (int nIndex = 0; nIndex < 200 && nResult != -1; ++nIndex) {
        memset(name, 0, MAX_PATH), memset(value, 0, MAX_PATH);
        nResult = tokenizer.GetSwitch(nIndex, name, value);
        ASSERT_TRUE(nResult >= -1 && strnlen(name, MAX_PATH) < MAX_PATH && strnlen(value, MAX_PATH) < MAX_PATH);
      }
      EXPECT_TRUE(nResult == -1 && !name[0] && !value[0]) << "a text of 259 characters holds no 200 switches";
      checkParsed(CCommandLine(text.c_str()));
    });
  }
  const std::string dir = testenv::TempDir(), path = dir + "O_PFUZZ.TMP", ini = dir + "fuzz.ini";
  forSeeds("parameter file", 600, [&](std::mt19937& rng) {
    const std::string file =
        Input(rng,
              {"/P \"Office Printer\"\r\n/O \"LPT1:\"\r\n/M \"M1\"\r\n/D \"Drv\"\r\n/I\r\n",
               "/A \"other.tmp\"\n/P \"quoted \"inner\" value\"\n/BH\n/F \"x\"\n/P1 \"no line end\"",
               "no switch\n\n/\n\"\n/D \"unterminated\x1a/M \"after eof\"",
               "/J \"" + std::string(1400, 'x') + "\"\n/P \"a\"\n"},
              {"/P \"", "/D", "/A \"", "/F \"", "/BH", "/VQM", "\"", "\r\n", "\n", "\r", "\x1a", std::string(1, '\0')});
    const bool bKeep = rng() % 2, bBare = rng() % 2;
    SCOPED_TRACE(g_current += std::string(bKeep ? " /A " : " /F ") + (bBare ? "by its bare name: " : "by its path: ") +
                              testing::PrintToString(file));
    WriteFile(path, file);
    checkParsed(CCommandLine(((bKeep ? "/A \"" : "/F \"") + (bBare ? "O_PFUZZ.TMP" : path) + "\"").c_str()));
    EXPECT_EQ(bKeep, testenv::FileExists(path));
  });

  // Both blocks as a foreign program may leave them (any bytes, names of edge lengths with
  // or without terminator, live windows, the end marker early, last or nowhere), then
  // operations on keys of edge lengths; no view may reach beyond the key's block.
  HWND hLive = testenv::CreateTestWindow();
  const DWORD kEntry[] = {274, 534}, dwLive = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hLive));
  auto key = [](std::mt19937& rng) {
    const size_t kLengths[] = {0, 1, 2, 259, 260, 261, 519, 520, 521};
    return rng() % 4 ? std::string(kLengths[rng() % 9], "aAo"[rng() % 3]) : std::string("Office");
  };
  SIZE_T cbLargest = 0;
  auto sizes = FAULT_REPLACE(MapViewOfFile, [&](auto real, auto h, auto dwAccess, auto dwHi, auto dwLo, SIZE_T cb) {
    return cbLargest = std::max(cbLargest, cb), real(h, dwAccess, dwHi, dwLo, cb);
  });
  forSeeds("table", 24, [&](std::mt19937& rng) {
    HANDLE ahMap[2];
    for (int b = 0; b < 2; ++b) {
      ahMap[b] = CreateFileMappingA(
          INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 500 * kEntry[b], b ? MONITOR_MAP_NAME2 : MONITOR_MAP_NAME);
      BYTE* p = static_cast<BYTE*>(
          memset(MapViewOfFile(ahMap[b], FILE_MAP_ALL_ACCESS, 0, 0, 0), rng() % 2 ? 0 : rng(), 500 * kEntry[b]));
      for (int k = rng() % 12; k > 0; --k) {
        BYTE* pEntry = p + (rng() % 8 ? rng() % 16 : 499) * kEntry[b];
        const std::string s = key(rng) + std::string(rng() % 2, '\0');
        memcpy(pEntry, s.data(), std::min<size_t>(s.size(), kEntry[b]));
        memcpy(pEntry + kEntry[b] - 4 * (1 + rng() % 3), rng() % 2 ? &dwLive : &kEntry[0], 4);
      }
      if (rng() % 4) p[(rng() % 2 ? 499 : rng() % 16) * kEntry[b]] = MONITOR_END_MARKER;
      UnmapViewOfFile(p);
    }
    for (int nOp = 0; nOp < 3; ++nOp) {
      const std::string key1 = rng() % 2 ? "" : key(rng), key2 = key(rng), &k = key1.empty() ? key2 : key1;
      const int nKind = static_cast<int>(rng() % 6) - 1, nCall = rng() % 3;
      const DWORD dwValue = rng() % 2 ? dwLive : rng() % 2 ? MONITOR_WND_PLACEHOLDER : rng();
      HWND hOther = nullptr, hValue = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(dwValue));
      HANDLE hMap = nullptr;
      int n = 0;
      cbLargest = 0;
      if (nCall == 0) n = RegisterMonitorWindow(key1.c_str(), key2.c_str(), nKind, dwValue, &hOther, &hMap);
      if (nCall == 1) n = SetMonitorWindow(key1.c_str(), key2.c_str(), hValue, nKind);
      if (nCall == 2) UnregisterMonitorWindow(ahMap[k.size() > 260], key1.c_str(), key2.c_str(), nKind, key1.empty());
      if (hMap) CloseHandle(hMap);
      EXPECT_TRUE(nCall != 0 || (n >= -1 && n <= 2 && (n >= 0) == (hMap != nullptr) && (n == -1) == (k.size() > 520) &&
                                 (!hOther || (n == 1 && IsWindow(hOther)))))
          << n;
      EXPECT_TRUE(nCall != 1 || (n >= -2 && n <= 1)) << n;
      EXPECT_LE(cbLargest, 500u * kEntry[k.size() > 260]) << "a view beyond the block, key of " << k.size();
    }
    CloseHandle(ahMap[0]), CloseHandle(ahMap[1]);
  });

  for (const char* pszDll : {"en.dll", "de.dll"}) WriteFile(dir + pszDll, "MZ");
  LANGID nLangID = 0;
  auto language = FAULT_REPLACE(GetUserDefaultLangID, [&](auto) { return nLangID; });
  forSeeds("language", 500, [&](std::mt19937& rng) {
    const std::string text =
        Input(rng,
              {"[Language]\r\nEnglish=9,1\r\nGerman=07,01\r\nJapanese=0x11,1,extra\r\n"
               "Plain\r\n[English]\r\nResDll=en.dll\r\n[German]\r\nResDll=de.dll\r\nOther=" +
                   std::string(300, 'v') + "\r\n",
               "[Language]\nA=0 a,x1\nB==,,\n=9\nC=-9,+1\n[B]\nResDll=de.dll\nOther=v\n"},
              {"[Language]", "[", "]", "=", ",", ";", "0x", "409", "9,1", "ResDll=", "Other=", "en.dll", "\r\n", "\n"});
    nLangID = static_cast<LANGID>(rng() % 2 ? 0x409 + (rng() % 3) * 2 : rng());
    const DWORD cch = rng() % 2 ? MAX_PATH : rng() % 300;
    SCOPED_TRACE(g_current += ", language " + std::to_string(nLangID) + ", buffer " + std::to_string(cch) + ": " +
                              testing::PrintToString(text));
    WriteFile(ini, text);
    testenv::CGuarded buffer(cch);
    memset(buffer, 'Z', cch);
    const int nResult = GetLanguageProfileString(rng() % 2 ? "ResDll" : "Other", buffer, &cch, ini.c_str());
    const size_t cchValue = strnlen(buffer, cch);
    EXPECT_TRUE(nResult == 0 ? cchValue > 0 && cchValue + 1 < cch
                             : nResult == -1 && std::count(buffer.Get(), buffer + cch, 'Z') == cch)
        << nResult;
  });
  for (const std::string& file : {path, ini, dir + "en.dll", dir + "de.dll"}) testenv::RemoveFile(file);

  const std::string driver = "software\\OLMAR\\PRW3\\Driver\\Fuzz Drv";
  forSeeds("menu", 300, [&](std::mt19937& rng) {
    testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "software\\OLMAR");
    auto set = [&](const std::string& key, const std::string& name, const std::string& data) {
      testenv::SetRegValue(HKEY_LOCAL_MACHINE,
                           key,
                           name,
                           rng() % 8 ? REG_SZ : REG_BINARY,
                           data.c_str(),
                           static_cast<DWORD>(data.size() + rng() % 2));
    };
    for (int k = rng() % 10; k > 0; --k)  // mostly the items the library has texts for
      set(driver + "\\Menu",
          std::to_string(rng() % 2 ? "\0\1\5"[rng() % 3] + 920 : 918 + rng() % 84),
          Input(rng, {"C:\\drv\\AUX.EXE MENU", "run"}, {"MENU", "AUX.EXE", "\\"}));
    if (rng() % 2)
      set(driver + "\\Menu", "Separators", Input(rng, {"1,2", "0,1,1,3"}, {",", "1", "-", " ", "99999999999"}));
    if (rng() % 2) set(driver, "DepExe", Input(rng, {"C:\\drv\\AUX.EXE"}, {"\\", "AUX"}));
    if (rng() % 2) set("Software\\OLMAR\\Fuzz Drv IO_URL", "", "");
    CMainFrame frame;
    frame.m_hResDll = hResDll, strcpy(frame.m_szDriverName, "Fuzz Drv");
    HMENU hPopup = CreatePopupMenu();
    frame.BuildAuxMenu(hPopup);
    for (int i = 0, nLastID = 0; i < GetMenuItemCount(hPopup); ++i) {
      MENUITEMINFOA mii = {sizeof(mii), MIIM_FTYPE | MIIM_ID | MIIM_DATA};
      GetMenuItemInfoA(hPopup, i, TRUE, &mii);
      if (mii.fType == MFT_SEPARATOR) continue;
      ASSERT_TRUE(mii.fType == MFT_OWNERDRAW && static_cast<int>(mii.wID) > nLastID && mii.wID >= 920 && mii.wID <= 998)
          << mii.fType << " " << mii.wID;
      const CMenuItem& item = frame.m_pMenuItems[(nLastID = mii.wID) - 920];
      EXPECT_TRUE(item.m_nID == nLastID && item.m_szText[0] && strnlen(item.m_szText, MAX_PATH) < MAX_PATH &&
                  mii.dwItemData == reinterpret_cast<ULONG_PTR>(item.m_szText))
          << mii.wID;
    }
    DestroyMenu(hPopup);
  });
  FreeLibrary(hResDll);
  DestroyWindow(hLive);
  SetUnhandledExceptionFilter(pfnOld);
}

}  // namespace
