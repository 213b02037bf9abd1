// Writing parameter files: the lines and their order, the bare name in the temporary
// folder, and a round trip through the parser that restores every written member.
#include "cmdline/CommandLine.h"

#include "base/StrUtil.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

class ParamFileWriterTest : public testing::Test {
protected:
  void TearDown() override {
    for (const std::string& name : m_names) testenv::RemoveFile(testenv::TempDir() + name);
  }
  // Writes with the writer's own calling order; returns the bare name ("" on failure).
  std::string Write(CCommandLine& cl, const char* printer, const char* port, const char* model) {
    if (!cl.WriteParamFile(printer, port, model)) return "";
    m_names.push_back(cl.m_szParamFileA);
    return cl.m_szParamFileA;
  }
  std::vector<std::string> m_names;
};

TEST_F(ParamFileWriterTest, FiveLinesInTheirOrderUnderABareUniqueName) {
  CCommandLine cl;
  CopyStr(cl.m_szDriverName, "Drv");
  cl.m_bSwitchE = 1;
  const std::string name = Write(cl, "P1", "LPT1:", "M1");
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(std::string::npos, name.find('\\')) << name;
  EXPECT_EQ("O_P", Upper(name.substr(0, 3)));
  EXPECT_EQ(".TMP", Upper(name.substr(name.size() - 4)));
  EXPECT_EQ("/P \"P1\"\r\n/D \"Drv\"\r\n/O \"LPT1:\"\r\n/M \"M1\"\r\n/E\r\n",
            testenv::ReadFile(testenv::TempDir() + name));

  CCommandLine empty;
  const std::string emptyName = Write(empty, "", "", "");
  ASSERT_FALSE(emptyName.empty());
  EXPECT_EQ("", testenv::ReadFile(testenv::TempDir() + emptyName));
  EXPECT_NE(name, emptyName);
}

TEST_F(ParamFileWriterTest, ReadingTheFileBackRestoresEveryWrittenMember) {
  CCommandLine out;
  CopyStr(out.m_szDriverName, "Drv \"quoted\" /x");
  CopyStr(out.m_szSwitchJ, "J");
  CopyStr(out.m_szSwitchBH, "H");
  CopyStr(out.m_szSwitchBU, "U");
  CopyStr(out.m_szSwitchBD, "D");
  CopyStr(out.m_szSwitchBI, "I");
  CopyStr(out.m_szSwitchBN, "N");
  CopyStr(out.m_szSwitchVQM, "V");
  out.m_bSwitchS = out.m_bRemove = out.m_bSwitchE = out.m_bSwitchU = out.m_bSwitchC = out.m_bSwitchBE = 1;
  out.m_bInstall = 1;
  const std::string name = Write(out, "Office \"Printer\"", "LPT1:", "M100");
  ASSERT_FALSE(name.empty());

  CCommandLine in(("/F \"" + name + "\"").c_str());
  EXPECT_STREQ("Office \"Printer\"", in.m_szPrinterName);
  EXPECT_STREQ("Drv \"quoted\" /x", in.m_szDriverName);
  EXPECT_STREQ("LPT1:", in.m_szPortName);
  EXPECT_STREQ("M100", in.m_szModelID);
  EXPECT_STREQ("J", in.m_szSwitchJ);
  EXPECT_STREQ("N", in.m_szSwitchBN);
  EXPECT_STREQ("V", in.m_szSwitchVQM);
  EXPECT_STREQ("I", in.m_szSwitchBI);
  EXPECT_EQ(1, in.m_bSwitchS & in.m_bRemove & in.m_bSwitchE & in.m_bSwitchU & in.m_bSwitchC & in.m_bInstall);
  EXPECT_EQ(1, in.m_bSwitchBE);
  EXPECT_FALSE(testenv::FileExists(testenv::TempDir() + name)) << "a file named by /F is consumed";

  // BE travels only together with its four companions.
  CCommandLine lone;
  lone.m_bSwitchBE = 1;
  const std::string loneName = Write(lone, "P", "", "");
  CCommandLine loneIn(("/F \"" + loneName + "\"").c_str());
  EXPECT_EQ(0, loneIn.m_bSwitchBE);
}

TEST_F(ParamFileWriterTest, ValueWithALineBreakWritesNoFile) {
  CCommandLine cl;
  EXPECT_FALSE(cl.WriteParamFile("Office\nPrinter", "LPT1:", "M1"));
  EXPECT_STREQ("", cl.m_szParamFileA);
  CopyStr(cl.m_szSwitchJ, "a\rb");
  EXPECT_FALSE(cl.WriteParamFile("P", "LPT1:", "M1"));
}

}  // namespace
