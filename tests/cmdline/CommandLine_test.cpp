// Parsing a command line into a printer identity: switches, parameter files, the
// spooler's names and the driver key's model id, on the real platform as over winsim.
#include "cmdline/CommandLine.h"

#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

#include <gtest/gtest.h>

namespace {

// A file in the temporary folder; returns its full path.
std::string TempFile(const std::string& name, const std::string& bytes) {
  testenv::WriteFile(testenv::TempDir() + name, bytes);
  return testenv::TempDir() + name;
}

TEST(CommandLine, SwitchesSetMembersInAnyLetterCaseAndBeNeedsAllFourCompanions) {
  CCommandLine cl("/r /I /s /E /U /C /j \"J\" /BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"I\" /BN \"N\" /VQM \"V\" "
                  "/P \"P1\" /D \"Drv\" /O \"LPT1:\" /M \"M1\" /Q \"ignored\"");
  EXPECT_EQ(6, cl.m_bRemove + cl.m_bInstall + cl.m_bSwitchS + cl.m_bSwitchE + cl.m_bSwitchU + cl.m_bSwitchC);
  EXPECT_EQ(1, cl.m_bSwitchBE);
  EXPECT_EQ("J N V P1 Drv LPT1: M1", std::string(cl.m_szSwitchJ) + " " + cl.m_szSwitchBN + " " + cl.m_szSwitchVQM +
                                         " " + cl.m_szPrinterName + " " + cl.m_szDriverName + " " + cl.m_szPortName +
                                         " " + cl.m_szModelID);
  // Each companion missing or empty in turn.
  for (const char* partial : {"/BE /BU \"U\" /BD \"D\" /BI \"I\"", "/BE /BH \"H\" /BD \"D\" /BI \"I\"",
                              "/BE /BH \"H\" /BU \"U\" /BI \"I\"", "/BE /BH \"H\" /BU \"U\" /BD \"D\" /BI \"\""})
    EXPECT_EQ(0, CCommandLine(partial).m_bSwitchBE) << partial;
}

TEST(CommandLine, ParamFilesNamedByAAreKeptAndByFAreFoundInTheTempFolderAndDeleted) {
  // /a wins over /f beside it, and its file stays; both in lower case.
  const std::string a = TempFile("prw3-a.tmp", "/P \"fromA\"\n/M \"MA\"\n");
  const std::string f = TempFile("prw3-f.tmp", "/P \"fromF\"\n");
  CCommandLine both(("/f \"" + f + "\" /a \"" + a + "\"").c_str());
  EXPECT_STREQ("fromA", both.m_szPrinterName);
  EXPECT_STREQ("MA", both.m_szModelID);
  EXPECT_STREQ(a.c_str(), both.m_szParamFileF);
  EXPECT_TRUE(testenv::FileExists(a) && testenv::FileExists(f));

  // A bare name after /f is looked for in the temporary folder; its values override.
  testenv::RemoveFile(f);
  TempFile("O_PTEST1.TMP", "/P \"fromFile\"\r\n/I\r\n");
  CCommandLine byF("/P \"fromCommandLine\" /f \"O_PTEST1.TMP\"");
  EXPECT_STREQ("fromFile", byF.m_szPrinterName);
  EXPECT_EQ(1, byF.m_bInstall);
  EXPECT_FALSE(testenv::FileExists(testenv::TempDir() + "O_PTEST1.TMP"));
  EXPECT_STREQ("cmd", CCommandLine("/P \"cmd\" /F \"O_PNONE.TMP\"").m_szPrinterName) << "a missing file";

  const std::string lines = TempFile("prw3-lines.tmp",
                                     "/P \"a \"quoted\" /name\"\r\n"  // value cut at the line's last quote
                                     "no switch here\n"
                                     "/O LPT9:\n"                     // no quoted value: ignored
                                     "/F \"other.tmp\"\n"             // never a switch of a file
                                     "/A \"recorded.tmp\"\n"          // recorded, not read
                                     "/BE\n/BH \"h\"\n/BU \"u\"\n/BD \"d\"\n/BI \"i\"\n"
                                     "/J9 \"digits end a name\"\n"
                                     "/" + std::string(100, 'P') + " \"a name too long\"\n"
                                     "/D0 \"last line without line end\"");
  CCommandLine cl(("/O \"LPT1:\" /A \"" + lines + "\"").c_str());
  EXPECT_STREQ("a \"quoted\" /name", cl.m_szPrinterName);
  EXPECT_STREQ("LPT1:", cl.m_szPortName);
  EXPECT_STREQ("recorded.tmp", cl.m_szParamFileA);
  EXPECT_STREQ(lines.c_str(), cl.m_szParamFileF);
  EXPECT_EQ(1, cl.m_bSwitchBE);
  EXPECT_STREQ("digits end a name", cl.m_szSwitchJ);
  EXPECT_STREQ("last line without line end", cl.m_szDriverName);
  for (const std::string& path : {a, lines}) testenv::RemoveFile(path);
}

TEST(CommandLine, InputBeyondTheFixedFieldsIsRefusedWithoutOverrun) {
  // 259 characters fit the tokenizer; 260 do not, and the whole text is refused.
  const std::string name254(254, 'n'), value259(259, 'v');
  EXPECT_EQ(name254, CCommandLine(("/M \"" + name254 + "\"").c_str()).m_szModelID);
  EXPECT_STREQ("", CCommandLine(("/M \"" + name254 + "x\"").c_str()).m_szModelID);
  // In a file a 259-character value is taken, a 260-character one is refused, and a line
  // far beyond the line buffer arrives in pieces that set nothing.
  const std::string path = TempFile("prw3-long.tmp", "/M \"" + value259 + "\"\n/J \"" + value259 + "w\"\n/D \"" +
                                                         std::string(5000, 'd') + "\"\n");
  CCommandLine file(("/J \"cmd\" /A \"" + path + "\"").c_str());
  EXPECT_EQ(value259, file.m_szModelID);
  EXPECT_STREQ("cmd", file.m_szSwitchJ);
  EXPECT_STREQ("", file.m_szDriverName);
  testenv::RemoveFile(path);
}

TEST(CommandLine, SpoolerAndDriverKeyFillOnlyWhatNoSwitchGave) {
  const std::string printer = testenv::ExistingPrinter();
  const std::string p = "/P \"" + printer + "\"";
  CCommandLine filled(p.c_str());
  EXPECT_EQ(printer + " CUPS:" + printer + " ", std::string(filled.m_szDriverName) + " " + filled.m_szPortName + " " +
                                                   filled.m_szModelID);
  CCommandLine kept((p + " /D \"MyDriver\" /O \"LPT9:\"").c_str());
  EXPECT_EQ("MyDriver LPT9:", std::string(kept.m_szDriverName) + " " + kept.m_szPortName);
  EXPECT_EQ(TRUE, kept.FillFromPrinter());
  CCommandLine missing("/P \"prw3 no such printer\"");
  EXPECT_EQ(FALSE, missing.FillFromPrinter());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), missing.m_nPrinterError);

  const std::string key = "software\\OLMAR\\PRW3\\Driver\\" + printer;
  testenv::SetRegString(HKEY_LOCAL_MACHINE, key, "ModelID", "PRW3DEMO");
  EXPECT_STREQ("PRW3DEMO", CCommandLine(p.c_str()).m_szModelID);
  EXPECT_STREQ("M9", CCommandLine((p + " /M \"M9\"").c_str()).m_szModelID);
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, key, "ModelID", 7);
  EXPECT_STREQ("", CCommandLine(p.c_str()).m_szModelID) << "a value of another type";
}

TEST(CommandLine, DeleteParamFileTakesTheNameAsGivenOrInTheTempFolder) {
  CCommandLine cl;
  const std::string full = TempFile("prw3-del1.tmp", "x");
  TempFile("prw3-del2.tmp", "x");
  EXPECT_TRUE(cl.DeleteParamFile(full.c_str()));
  EXPECT_TRUE(cl.DeleteParamFile("prw3-del2.tmp"));
  EXPECT_FALSE(testenv::FileExists(full) || testenv::FileExists(testenv::TempDir() + "prw3-del2.tmp"));
  EXPECT_FALSE(cl.DeleteParamFile("prw3-del2.tmp"));
  EXPECT_FALSE(cl.DeleteParamFile(""));
  EXPECT_FALSE(cl.DeleteParamFile(std::string(300, 'f').c_str())) << "the joined path does not fit";
}

}  // namespace
