// Monitored targets on both platforms, in the real registry and spooler, with the demo
// package's printer library filling each new target.
#include "targets/TargetRegistry.h"

#include "support/DriverPackage.h"
#include "support/TestEnv.h"
#include "support/TestRegistry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kVQL = "software\\OLMAR\\PRW3\\PRWData\\VQLTarget";
const std::string kVQN = "software\\OLMAR\\PRW3\\PRWData\\VQNTarget";

std::string Target(const std::string& family, int number) {
  char sz[32];
  snprintf(sz, sizeof(sz), "\\P%016d", number);
  return family + sz;
}
std::string Name(const std::string& path) { return testenv::GetReg(HKEY_CURRENT_USER, path, "Name"); }
// A target as an earlier run left it; an empty name writes no "Name".
void Seed(const std::string& family, int number, const std::string& name) {
  if (name.empty())
    testenv::SetRegDword(HKEY_CURRENT_USER, Target(family, number), "Timer", 10);
  else
    testenv::SetRegString(HKEY_CURRENT_USER, Target(family, number), "Name", name);
}

class TargetRegistry : public testing::Test {
protected:
  void SetUp() override { m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test"); }
  void TearDown() override { testenv::UninstallDemoDriver(); }
  // The result, the name kind and the path handed out.
  std::string Get(const std::string& printer, const std::string& port = "") {
    int nameKind = -1;
    char path[MAX_PATH] = "";
    const int result = GetTargetKey(printer.c_str(), port.c_str(), m_driver.modelID.c_str(), &nameKind, path);
    return std::to_string(result) + " " + std::to_string(nameKind) + " " + path;
  }

  testenv::DemoDriver m_driver;
  const std::string m_printer = testenv::ExistingPrinter();
};

TEST_F(TargetRegistry, FirstTargetIsCreatedThenFoundInAnyLetterCase) {
  const std::string first = Target(kVQL, 0);
  EXPECT_EQ("0 0 " + first, Get(m_printer, "CUPS:" + m_printer));
  EXPECT_EQ(m_printer + " 0 10 1", Name(first) + " " + testenv::GetReg(HKEY_CURRENT_USER, first, "Setting") + " " +
                                       testenv::GetReg(HKEY_CURRENT_USER, first, "Timer") + " " +
                                       testenv::GetReg(HKEY_CURRENT_USER, first, "TrayIconEnable"));
  std::string upper = m_printer;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ("0 0 " + first, Get(upper));
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_CURRENT_USER, Target(kVQL, 1)));

  char path[MAX_PATH] = "-";
  EXPECT_EQ(1, FindTargetKey("other", FALSE, path));
  EXPECT_EQ(4, FindTargetKey(m_printer.c_str(), TRUE, path)) << "no port family yet";
  EXPECT_STREQ("-", path);
  EXPECT_EQ(0, FindTargetKey(upper.c_str(), FALSE, path));
  EXPECT_EQ(first, path);
}

TEST_F(TargetRegistry, PurgeRemovesStaleNeighboursAndTheNewTargetTakesTheLowestFreeNumber) {
  Seed(kVQN, 0, "");
  EXPECT_EQ("0 1 " + Target(kVQN, 1), Get("", "LPT9:"));
  EXPECT_EQ("0 1 " + Target(kVQN, 1), Get("", "lpt9:"));
  EXPECT_TRUE(testenv::RegKeyExists(HKEY_CURRENT_USER, Target(kVQN, 0))) << "no VQLTarget, no purge";

  Seed(kVQL, 0, m_printer);
  Seed(kVQL, 1, "prw3 gone one");
  Seed(kVQL, 2, "prw3 gone two");
  for (const char* below : {"\\a\\a1", "\\a\\a2", "\\b"})
    testenv::SetRegDword(HKEY_CURRENT_USER, Target(kVQL, 2) + below, "x", 1);
  Seed(kVQL, 3, m_printer);
  Seed(kVQL, 4, "");
  EXPECT_EQ("0 0 " + Target(kVQL, 1), Get("prw3 new"));
  for (int kept : {0, 3}) EXPECT_EQ(m_printer, Name(Target(kVQL, kept))) << kept;
  for (int gone : {2, 4}) EXPECT_FALSE(testenv::RegKeyExists(HKEY_CURRENT_USER, Target(kVQL, gone))) << gone;
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_CURRENT_USER, Target(kVQN, 0)));
  EXPECT_EQ("LPT9:", Name(Target(kVQN, 1))) << "port names are not checked against the spooler";
}

}  // namespace
