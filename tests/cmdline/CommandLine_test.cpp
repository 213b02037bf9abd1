// Parsing a command line into a printer identity: switches, parameter files, the
// spooler's names and the driver key's model id, on the real platform as over winsim.
#include "cmdline/CommandLine.h"

#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

#include <gtest/gtest.h>

namespace {

class CommandLineTest : public testing::Test {
protected:
  void TearDown() override {
    for (const std::string& path : m_files) testenv::RemoveFile(path);
  }
  // A file in the temporary folder; returns its full path.
  std::string TempFile(const std::string& name, const std::string& bytes) {
    std::string path = testenv::TempDir() + name;
    testenv::WriteFile(path, bytes);
    m_files.push_back(path);
    return path;
  }

  std::vector<std::string> m_files;
};

TEST_F(CommandLineTest, SwitchesSetMembersAndFlagsInAnyLetterCase) {
  CCommandLine empty("");
  EXPECT_STREQ("", empty.m_szPrinterName);
  EXPECT_EQ(0, empty.m_bRemove + empty.m_bInstall + empty.m_bSwitchBE);
  EXPECT_EQ(1, empty.Parse());

  CCommandLine cl("/r /I /s /E /U /C /j \"J\" /BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"I\" /BN \"N\" /VQM \"V\" "
                  "/P \"P1\" /D \"Drv\" /O \"LPT1:\" /M \"M1\" /Q \"ignored\"");
  EXPECT_EQ(1, cl.m_bRemove);
  EXPECT_EQ(1, cl.m_bInstall);
  EXPECT_EQ(1, cl.m_bSwitchS);
  EXPECT_EQ(1, cl.m_bSwitchE);
  EXPECT_EQ(1, cl.m_bSwitchU);
  EXPECT_EQ(1, cl.m_bSwitchC);
  EXPECT_STREQ("J", cl.m_szSwitchJ);
  EXPECT_EQ(1, cl.m_bSwitchBE) << "all four companions given";
  EXPECT_STREQ("N", cl.m_szSwitchBN);
  EXPECT_STREQ("V", cl.m_szSwitchVQM);
  EXPECT_STREQ("P1", cl.m_szPrinterName);
  EXPECT_STREQ("Drv", cl.m_szDriverName);
  EXPECT_STREQ("LPT1:", cl.m_szPortName);
  EXPECT_STREQ("M1", cl.m_szModelID);

  CCommandLine noBI("/BE /BH \"H\" /BU \"U\" /BD \"D\"");
  EXPECT_EQ(0, noBI.m_bSwitchBE);
  CCommandLine emptyBI("/BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"\"");
  EXPECT_EQ(0, emptyBI.m_bSwitchBE);
}

TEST_F(CommandLineTest, ParamFileNamedByAIsReadAndKeptAndFNamedBesideItIsLeftAlone) {
  std::string a = TempFile("prw3-a.tmp", "/P \"fromA\"\n/M \"MA\"\n");
  std::string f = TempFile("prw3-f.tmp", "/P \"fromF\"\n");
  CCommandLine cl(("/F \"" + f + "\" /A \"" + a + "\"").c_str());
  EXPECT_STREQ("fromA", cl.m_szPrinterName);
  EXPECT_STREQ("MA", cl.m_szModelID);
  EXPECT_STREQ(a.c_str(), cl.m_szParamFileF);
  EXPECT_STREQ("", cl.m_szParamFileA);
  EXPECT_TRUE(testenv::FileExists(a));
  EXPECT_TRUE(testenv::FileExists(f));
}

TEST_F(CommandLineTest, ParamFileNamedByFIsFoundInTheTempFolderReadAndDeleted) {
  std::string path = TempFile("O_PTEST1.TMP", "/P \"fromFile\"\r\n/I\r\n");
  CCommandLine cl("/P \"fromCommandLine\" /F \"O_PTEST1.TMP\"");
  EXPECT_STREQ("fromFile", cl.m_szPrinterName) << "a file's value overrides the command line's";
  EXPECT_EQ(1, cl.m_bInstall);
  EXPECT_FALSE(testenv::FileExists(path));

  // A file that cannot be found leaves the command line's identity.
  CCommandLine missing("/P \"cmd\" /F \"O_PNONE.TMP\"");
  EXPECT_STREQ("cmd", missing.m_szPrinterName);
}

TEST_F(CommandLineTest, ParamFileLinesAndTheirOddities) {
  std::string path = TempFile("prw3-lines.tmp",
                              "/P \"a \"quoted\" /name\"\r\n"  // value cut at the line's last quote
                              "no switch here\n"
                              "/O LPT9:\n"                     // string switch without a quoted value: ignored
                              "/F \"other.tmp\"\n"             // never a switch of a file
                              "/A \"recorded.tmp\"\n"          // recorded, not read
                              "/BE\n/BH \"h\"\n/BU \"u\"\n/BD \"d\"\n/BI \"i\"\n"
                              "/J7 \"digits after a name are ignored\"\n"
                              "/M \"last line without line end\"");
  CCommandLine cl(("/O \"LPT1:\" /A \"" + path + "\"").c_str());
  EXPECT_STREQ("a \"quoted\" /name", cl.m_szPrinterName);
  EXPECT_STREQ("LPT1:", cl.m_szPortName);
  EXPECT_STREQ("recorded.tmp", cl.m_szParamFileA);
  EXPECT_STREQ(path.c_str(), cl.m_szParamFileF);
  EXPECT_EQ(1, cl.m_bSwitchBE);
  EXPECT_STREQ("digits after a name are ignored", cl.m_szSwitchJ);
  EXPECT_STREQ("last line without line end", cl.m_szModelID);
}

TEST_F(CommandLineTest, InputBeyondTheFixedFieldsIsRefusedWithoutOverrun) {
  // 259 characters fit the tokenizer; 260 do not, and the whole text is refused.
  std::string name259(259 - 5, 'n');
  CCommandLine fits(("/M \"" + name259 + "\"").c_str());
  EXPECT_EQ(name259, fits.m_szModelID);
  CCommandLine tooLong(("/M \"" + name259 + "x\"").c_str());
  EXPECT_STREQ("", tooLong.m_szModelID);

  // In a file: a 259-character value is taken, a 260-character one is refused, and a
  // line far beyond the line buffer arrives in pieces that set nothing.
  std::string value259(259, 'v');
  std::string path = TempFile("prw3-long.tmp", "/M \"" + value259 + "\"\n/J \"" + value259 + "w\"\n/D \"" +
                                                   std::string(5000, 'd') + "\"\n/" + std::string(100, 'P') +
                                                   " \"long name\"\n");
  CCommandLine file(("/J \"cmd\" /A \"" + path + "\"").c_str());
  EXPECT_EQ(value259, file.m_szModelID);
  EXPECT_STREQ("cmd", file.m_szSwitchJ);
  EXPECT_STREQ("", file.m_szDriverName);
  EXPECT_STREQ("", file.m_szPrinterName);

  // A parameter-file name whose joined temporary path does not fit is not tried.
  CCommandLine cl;
  EXPECT_FALSE(cl.DeleteParamFile(std::string(300, 'f').c_str()));
}

TEST_F(CommandLineTest, SpoolerFillsOnlyTheNamesNoSwitchGave) {
  const std::string printer = testenv::ExistingPrinter();
  CCommandLine filled(("/P \"" + printer + "\"").c_str());
  EXPECT_STREQ(printer.c_str(), filled.m_szDriverName);
  EXPECT_STREQ(("CUPS:" + printer).c_str(), filled.m_szPortName);
  EXPECT_EQ(0u, filled.m_nPrinterError);

  CCommandLine kept(("/P \"" + printer + "\" /D \"MyDriver\" /O \"LPT9:\"").c_str());
  EXPECT_STREQ("MyDriver", kept.m_szDriverName);
  EXPECT_STREQ("LPT9:", kept.m_szPortName);
  EXPECT_EQ(TRUE, kept.FillFromPrinter());

  CCommandLine missing("/P \"prw3 no such printer\"");
  EXPECT_EQ(FALSE, missing.FillFromPrinter());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), missing.m_nPrinterError);
  EXPECT_STREQ("", missing.m_szPortName);
}

TEST_F(CommandLineTest, ModelIdComesFromTheDriverKeyOnlyWhenNoSwitchGaveIt) {
  const std::string printer = testenv::ExistingPrinter();
  CCommandLine noKey(("/P \"" + printer + "\"").c_str());
  EXPECT_STREQ("", noKey.m_szModelID);

  testenv::SetRegString(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Driver\\" + printer, "ModelID", "PRW3DEMO");
  CCommandLine fromKey(("/P \"" + printer + "\"").c_str());
  EXPECT_STREQ("PRW3DEMO", fromKey.m_szModelID);
  CCommandLine given(("/P \"" + printer + "\" /M \"M9\"").c_str());
  EXPECT_STREQ("M9", given.m_szModelID);

  // A value of another type is no model id.
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Driver\\" + printer, "ModelID", 7);
  CCommandLine wrongType(("/P \"" + printer + "\"").c_str());
  EXPECT_STREQ("", wrongType.m_szModelID);
}

TEST_F(CommandLineTest, DeleteParamFileTakesTheNameAsGivenOrInTheTempFolder) {
  CCommandLine cl;
  std::string full = TempFile("prw3-del1.tmp", "x");
  EXPECT_TRUE(cl.DeleteParamFile(full.c_str()));
  EXPECT_FALSE(testenv::FileExists(full));
  std::string bare = TempFile("prw3-del2.tmp", "x");
  EXPECT_TRUE(cl.DeleteParamFile("prw3-del2.tmp"));
  EXPECT_FALSE(testenv::FileExists(bare));
  EXPECT_FALSE(cl.DeleteParamFile("prw3-del2.tmp"));
  EXPECT_FALSE(cl.DeleteParamFile(""));
}

}  // namespace
