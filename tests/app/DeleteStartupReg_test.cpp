// Removing a printer's start-up entry from HKCU's Run key: by the printer's name, or, for
// a printer without one, the first value whose data names its parameter file.
#include "app/InitInstance.h"

#include "support/Fault.h"
#include "support/TestEnv.h"

TEST(DeleteStartupReg, ByNameOrByTheFirstValueNamingTheParameterFileAndNeverPastAFailure) {
  const std::string run = "prw3tray.exe /A \"C:\\";
  // The values come in the same order by creation (Windows) and by name (Wine). A's data is
  // too long for the buffer and passed over, B's 259 characters fill it; F also names the
  // file, two places after B once B is gone.
  const std::pair<std::string, std::string> values[] = {
      {"prw3 A", std::string(300, 'x') + "O_P3C.TMP"},
      {"prw3 B", std::string(250, 'y') + "O_P3C.TMP"},
      {"prw3 C", run + "O_P3C.TMP\""},
      {"prw3 D Office", run + "O_P1A.TMP\""},
      {"prw3 E", run + "O_P2B.TMP\""},
      {"prw3 F", run + "O_P3C.TMP\""},
  };
  for (const auto& v : values) testenv::SetRegString(HKEY_CURRENT_USER, testenv::kRunKey, v.first, v.second);
  // The values left after one removal, "-" for each one gone.
  auto remaining = [&](const char* pszName, const char* pszFile, std::string names = "") {
    DeleteStartupReg(pszName, pszFile);
    for (const auto& v : values)
      names += testenv::GetReg(HKEY_CURRENT_USER, testenv::kRunKey, v.first) == "<missing>" ? '-' : 'v';
    return names;
  };
  // By name in any letter case, not by file.
  EXPECT_EQ("vvv-vv", remaining("PRW3 d OFFICE", "C:\\PRW3\\O_P2B.TMP"));
  EXPECT_EQ("v-v-vv", remaining("", "O_P3C.TMP"));
  // The search is case-sensitive; with no name and no file nothing is deleted.
  for (const char* pszFile : {"o_p2b.tmp", "", static_cast<const char*>(nullptr)})
    EXPECT_EQ("v-v-vv", remaining(pszFile ? "" : nullptr, pszFile)) << (pszFile ? pszFile : "null");
  // An installer or clean-up tool may delete the Run key under the walk: every index then
  // fails alike, and the walk ends at the first failure. The real values follow the failure
  // here: C, which a walk that went on would find and delete, stays.
  auto keyDeleted = FAULT_REPLACE(RegEnumValueA, [&](auto real, HKEY h, DWORD i, auto... rest) -> LSTATUS {
    return i == 0 ? ERROR_KEY_DELETED : real(h, i - 1, rest...);
  });
  EXPECT_EQ("v-v-vv", remaining("", "O_P3C.TMP"));
  for (const auto& v : values) testenv::DeleteRegValue(HKEY_CURRENT_USER, testenv::kRunKey, v.first);
}
