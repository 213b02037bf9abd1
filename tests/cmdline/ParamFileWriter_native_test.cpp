// Writing parameter files when the platform fails: no name, or a file that cannot be
// opened for writing; neither leaves a file behind.
#include "cmdline/CommandLine.h"

#include "support/TestFiles.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

size_t TempFileCount() {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((testenv::TempDir() + "*.TMP").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return 0;
  size_t n = 1;
  while (FindNextFileA(h, &data)) ++n;
  FindClose(h);
  return n;
}

TEST(ParamFileWriterNative, FailuresLeaveNoFileAndNoName) {
  CCommandLine cl;
  winsim::InjectFault("GetTempFileNameA", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(cl.WriteParamFile("P1", "LPT1:", "M1"));
  EXPECT_STREQ("", cl.m_szParamFileA);

  winsim::InjectFault("_fsopen", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(cl.WriteParamFile("P1", "LPT1:", "M1"));
  EXPECT_EQ(0u, TempFileCount()) << "the empty file made for the name is deleted again";

  // Without a temporary path the current folder serves.
  winsim::InjectFault("GetTempPathA", ERROR_ACCESS_DENIED, 1);
  ASSERT_TRUE(cl.WriteParamFile("P1", "LPT1:", "M1"));
  EXPECT_STREQ(".\\", cl.m_szTempDir);
  EXPECT_TRUE(testenv::FileExists(std::string("C:\\") + cl.m_szParamFileA));
  EXPECT_EQ(0u, winsim::OpenStreamCount());
}

}  // namespace
