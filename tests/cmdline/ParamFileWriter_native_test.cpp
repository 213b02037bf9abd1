// Parameter files where the platform gets in the way: no name, a file that cannot be
// opened for writing (neither leaves a file, nor touches another of the same name), and a
// temporary folder deeper than OpenFile can take.
#include "cmdline/CommandLine.h"

#include "support/TestFiles.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

TEST(ParamFileWriterNative, FailuresLeaveNoFileAndNoName) {
  CCommandLine cl;
  winsim::InjectFault("GetTempFileNameA", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(cl.WriteParamFile("P1", "LPT1:", "M1"));
  EXPECT_STREQ("", cl.m_szParamFileA);

  // The empty file made for the name is deleted again by its full path: the file of the
  // same name in the program's folder, which OpenFile's search finds first, is not ours.
  testenv::WriteFile("C:\\O_P4242.TMP", "not ours");
  winsim::SetTickCount(0x4242);
  winsim::InjectFault("_fsopen", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(cl.WriteParamFile("P1", "LPT1:", "M1"));
  EXPECT_FALSE(testenv::FileExists(testenv::TempDir() + "O_P4242.TMP"));
  EXPECT_STREQ("", cl.m_szParamFileA);
  EXPECT_EQ("not ours", testenv::ReadFile("C:\\O_P4242.TMP"));

  // Without a temporary path the current folder serves.
  winsim::InjectFault("GetTempPathA", ERROR_ACCESS_DENIED, 1);
  ASSERT_TRUE(cl.WriteParamFile("P1", "LPT1:", "M1"));
  EXPECT_STREQ(".\\", cl.m_szTempDir);
  EXPECT_TRUE(testenv::FileExists(std::string("C:\\") + cl.m_szParamFileA));
  EXPECT_EQ(0u, winsim::OpenStreamCount());
}

TEST(ParamFileWriterNative, FileInATemporaryFolderDeeperThanOpenFileTakesIsReadAndDeleted) {
  const std::string temp = "C:\\Users\\" + std::string(100, 'u') + "\\AppData\\Local\\Temp\\";
  winsim::MakeFolder(temp);
  winsim::SetTempPath(temp);
  ASSERT_GE((temp + "O_P1.TMP").size(), static_cast<size_t>(OFS_MAXPATHNAME));
  testenv::WriteFile(temp + "O_P1.TMP", "/P \"fromFile\"\r\n");
  CCommandLine cl("/F \"O_P1.TMP\"");
  EXPECT_STREQ("fromFile", cl.m_szPrinterName);
  EXPECT_FALSE(testenv::FileExists(temp + "O_P1.TMP"));
}

}  // namespace
