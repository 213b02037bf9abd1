// Removing a printer's start-up entry from HKCU's Run key: by the printer's name, or,
// for a printer without one, the first value whose data names its parameter file.
#include "app/InitInstance.h"

#include "support/TestRegistry.h"

#include <gtest/gtest.h>

namespace {

TEST(DeleteStartupReg, ByNameOrByTheFirstValueNamingTheParameterFile) {
  const char kRun[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string run = "C:\\PRW3\\prw3tray.exe /A \"C:\\PRW3\\";
  // Created first and first by name, so it comes first in either enumeration order:
  // data beyond 260 bytes cannot be read and is passed over.
  const std::pair<std::string, std::string> values[] = {
      {"prw3 A long", std::string(300, 'x') + "O_P3C.TMP"},
      {"prw3 B port", std::string(250, 'y') + "O_P3C.TMP"},  // 259 characters: fills the buffer
      {"prw3 C port", run + "O_P3C.TMP\""},
      {"prw3 D Office", run + "O_P1A.TMP\""},
      {"prw3 E Other", run + "O_P2B.TMP\""}};
  for (const auto& v : values) testenv::SetRegString(HKEY_CURRENT_USER, kRun, v.first, v.second);
  auto remaining = [&]() {
    std::string names;
    for (const auto& v : values)
      if (testenv::GetReg(HKEY_CURRENT_USER, kRun, v.first) != "<missing>") names += v.first.substr(5, 1);
    return names;
  };
  DeleteStartupReg("PRW3 d OFFICE", "C:\\PRW3\\O_P2B.TMP");
  EXPECT_EQ("ABCE", remaining()) << "by name in any letter case; the file is not looked at";
  DeleteStartupReg("", "O_P3C.TMP");
  EXPECT_EQ("ACE", remaining());
  // The search is case-sensitive; with no name and no file nothing is deleted.
  DeleteStartupReg("", "o_p2b.tmp");
  DeleteStartupReg("", "");
  DeleteStartupReg(nullptr, nullptr);
  EXPECT_EQ("ACE", remaining());
  for (const auto& v : values) testenv::DeleteRegValue(HKEY_CURRENT_USER, kRun, v.first);
}

}  // namespace
