// Conformance: OpenFile, which looks up a parameter file before it is deleted, takes no
// path of 128 characters or more on either platform.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TestFiles.h"

TEST(FilesConformance, OpenFileTakesNoPathOf128CharactersOrMore) {
  const std::string dir = testenv::TempDir() + "prw3conf_files";
  CreateDirectoryA(dir.c_str(), nullptr);
  // Files whose full paths are 127, 128 and 200 characters long, one folder deep.
  for (size_t cch : {127u, 128u, 200u}) {
    const std::string folder = dir + "\\" + std::string(cch - dir.size() - 7, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << cch;
    const std::string file = folder + "\\f.tmp";
    ASSERT_EQ(cch, file.size());
    testenv::WriteFile(file, "x");
    OFSTRUCT of;
    SetLastError(0xdeadbeef);
    const HFILE h = OpenFile(file.c_str(), &of, OF_EXIST);
    EXPECT_EQ(cch < OFS_MAXPATHNAME, h != HFILE_ERROR) << cch << " characters, error " << GetLastError();
    EXPECT_TRUE(DeleteFileA(file.c_str())) << "the file was there all along";
    RemoveDirectoryA(folder.c_str());
  }
  RemoveDirectoryA(dir.c_str());
}
