// Writing parameter files: every line in its order under a bare unique name in the
// temporary folder, read back by the parser; values with a line break write nothing.
#include "cmdline/CommandLine.h"

#include "base/StrUtil.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

TEST(ParamFileWriter, EveryLineInItsOrderUnderABareUniqueNameReadBackByTheParser) {
  CCommandLine out;
  const char* values[] = {"Drv \"q\" /x", "J", "H", "U", "D", "I", "N", "V"};
  char* fields[] = {out.m_szDriverName, out.m_szSwitchJ,  out.m_szSwitchBH, out.m_szSwitchBU,
                    out.m_szSwitchBD,   out.m_szSwitchBI, out.m_szSwitchBN, out.m_szSwitchVQM};
  for (size_t i = 0; i < 8; ++i) CopyStr(fields[i], MAX_PATH, values[i]);
  out.m_bSwitchS = out.m_bRemove = out.m_bSwitchE = out.m_bSwitchU = out.m_bSwitchC = out.m_bSwitchBE = 1;
  out.m_bInstall = 1;
  ASSERT_TRUE(out.WriteParamFile("Office \"Printer\"", "LPT1:", "M100"));
  const std::string name = out.m_szParamFileA;
  EXPECT_EQ(std::string::npos, name.find('\\')) << name;
  EXPECT_EQ(0, lstrcmpiA("O_P", name.substr(0, 3).c_str()));
  EXPECT_EQ(0, lstrcmpiA(".TMP", name.substr(name.size() - 4).c_str()));
  EXPECT_EQ("/P \"Office \"Printer\"\"\r\n/D \"Drv \"q\" /x\"\r\n/O \"LPT1:\"\r\n/M \"M100\"\r\n/J \"J\"\r\n"
            "/S\r\n/R\r\n/E\r\n/U\r\n/C\r\n/BE\r\n/BH \"H\"\r\n/BU \"U\"\r\n/BD \"D\"\r\n/BI \"I\"\r\n/BN \"N\"\r\n"
            "/VQM \"V\"\r\n/I\r\n",
            testenv::ReadFile(testenv::TempDir() + name));

  // Empty values write no string lines; a second file gets another name.
  CCommandLine empty;
  ASSERT_TRUE(empty.WriteParamFile("", "", ""));
  EXPECT_NE(name, empty.m_szParamFileA);
  EXPECT_EQ("", testenv::ReadFile(testenv::TempDir() + empty.m_szParamFileA));
  testenv::RemoveFile(testenv::TempDir() + empty.m_szParamFileA);

  CCommandLine in(("/F \"" + name + "\"").c_str());
  EXPECT_STREQ("Office \"Printer\"", in.m_szPrinterName);
  EXPECT_STREQ("Drv \"q\" /x", in.m_szDriverName);
  EXPECT_EQ(1, in.m_bSwitchBE & in.m_bSwitchS & in.m_bInstall);
  EXPECT_FALSE(testenv::FileExists(testenv::TempDir() + name)) << "a file named by /F is consumed";

  CCommandLine broken;
  EXPECT_FALSE(broken.WriteParamFile("Office\nPrinter", "LPT1:", "M1"));
  CopyStr(broken.m_szSwitchJ, "a\rb");
  EXPECT_FALSE(broken.WriteParamFile("P", "LPT1:", "M1"));
  EXPECT_STREQ("", broken.m_szParamFileA);
}

}  // namespace
