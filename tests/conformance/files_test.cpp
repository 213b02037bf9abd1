// Conformance: the file calls and CRT streams the program relies on behave alike on
// both platforms. Everything is written into a scratch folder under the temporary folder.
#include <windows.h>
#include <share.h>

#include <gtest/gtest.h>

#include "support/TestFiles.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>

namespace {

using testenv::TempDir;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class FilesConformance : public testing::Test {
protected:
  void SetUp() override { CreateDirectoryA(m_dir.c_str(), nullptr); }
  void TearDown() override { RemoveTree(m_dir.substr(0, m_dir.size() - 1)); }

  static void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &fd)) {
      std::string path = dir + "\\" + fd.cFileName;
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(path.c_str());
      else if (fd.cFileName[0] != '.') RemoveTree(path);
    }
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    RemoveDirectoryA(dir.c_str());
  }

  std::string Path(const char* name) const { return m_dir + name; }
  std::string m_dir = TempDir() + "prw3conf_files\\";
};

TEST_F(FilesConformance, TextModeStoresCrLfAndStopsAtCtrlZ) {
  std::string file = Path("text.txt");
  FILE* f = _fsopen(file.c_str(), "w", _SH_DENYNO);
  ASSERT_NE(nullptr, f);
  fputs("a\nb", f);
  fclose(f);
  EXPECT_EQ("a\r\nb", testenv::ReadFile(file, "rb"));
  EXPECT_EQ("a\nb", testenv::ReadFile(file, "rt"));

  // A lone CR stays, CR CR LF keeps the first CR, Ctrl-Z ends the text.
  testenv::WriteFile(file, "x\r\ny\rz\r\r\nw\x1Aq\r\n");
  EXPECT_EQ("x\ny\rz\r\nw", testenv::ReadFile(file, "r"));
  f = _fsopen(file.c_str(), "rt", _SH_DENYNO);
  ASSERT_NE(nullptr, f);
  char line[64];
  std::string lines;
  while (fgets(line, sizeof(line), f)) lines += std::string(line) + "|";
  fclose(f);
  EXPECT_EQ("x\n|y\rz\r\n|w|", lines);
  testenv::WriteFile(file, "x\r");
  EXPECT_EQ("x\r", testenv::ReadFile(file, "rt"));
}

TEST_F(FilesConformance, AppendModeCreatesAndAppends) {
  std::string file = Path("log.txt");
  for (int i = 1; i <= 2; ++i) {
    FILE* f = _fsopen(file.c_str(), "a+", _SH_DENYNO);
    ASSERT_NE(nullptr, f) << i;
    fprintf(f, "%10ld : %s\n", static_cast<long>(i), "line");
    fclose(f);
  }
  EXPECT_EQ("         1 : line\r\n         2 : line\r\n", testenv::ReadFile(file, "rb"));
}

TEST_F(FilesConformance, StreamOpenFailuresAndSharing) {
  struct Case {
    std::string path;
    const char* mode;
    int err;
  } cases[] = {{Path("missing.txt"), "r", ENOENT},
               {Path("nofolder\\new.txt"), "w", ENOENT},
               {m_dir, "r", EACCES}};
  for (const Case& c : cases) {
    errno = 0;
    EXPECT_EQ(nullptr, _fsopen(c.path.c_str(), c.mode, _SH_DENYNO)) << c.path;
    EXPECT_EQ(c.err, errno) << c.path;
  }

  std::string file = Path("held.txt");
  testenv::WriteFile(file, "data");
  FILE* held = _fsopen(file.c_str(), "r", _SH_DENYWR);
  ASSERT_NE(nullptr, held);
  errno = 0;
  EXPECT_EQ(nullptr, _fsopen(file.c_str(), "a", _SH_DENYNO));
  EXPECT_EQ(EACCES, errno);
  // The CRT opens without delete sharing: an open file cannot be deleted.
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DeleteFileA(file.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  fclose(held);
  EXPECT_TRUE(DeleteFileA(file.c_str()));
}

// Too small, even by the terminator: nothing copied, the size with terminator returned.
TEST_F(FilesConformance, FolderQueriesReturnTheSizeNeeded) {
  using Query = DWORD (*)(char*, DWORD);
  struct Case {
    const char* what;
    Query query;
  } cases[] = {
      {"GetTempPathA", [](char* p, DWORD n) { return GetTempPathA(n, p); }},
      {"GetWindowsDirectoryA", [](char* p, DWORD n) { return static_cast<DWORD>(GetWindowsDirectoryA(p, n)); }},
  };
  char sz[MAX_PATH];
  for (const Case& c : cases) {
    DWORD len = c.query(sz, sizeof(sz));
    EXPECT_EQ(len, strlen(sz)) << c.what;
    for (DWORD size : {DWORD(0), DWORD(1), len}) {
      memset(sz, 'x', sizeof(sz));
      EXPECT_EQ(len + 1, c.query(sz, size)) << c.what << " " << size;
      EXPECT_EQ('x', sz[0]) << c.what << " " << size;
    }
    memset(sz, 'x', sizeof(sz));
    EXPECT_EQ(len, c.query(sz, len + 1)) << c.what;
    EXPECT_EQ(std::string("\0x", 2), std::string(sz + len, 2)) << c.what;
  }
  GetTempPathA(sizeof(sz), sz);
  EXPECT_EQ("C:\\USERS\\", Upper(std::string(sz, 9))) << sz;
  EXPECT_EQ("\\TEMP\\", Upper(sz + strlen(sz) - 6)) << sz;
  GetWindowsDirectoryA(sz, sizeof(sz));
  EXPECT_EQ("C:\\WINDOWS", Upper(sz)) << sz;
}

TEST_F(FilesConformance, GetTempFileNameACreatesPrefixedHexName) {
  char name[MAX_PATH];
  char again[MAX_PATH];
  UINT n = GetTempFileNameA(m_dir.c_str(), "O_P", 0, name);
  ASSERT_NE(0u, n);
  ASSERT_NE(0u, GetTempFileNameA(m_dir.c_str(), "O_P", 0, again));
  EXPECT_NE(Upper(name), Upper(again));
  char hex[8];
  snprintf(hex, sizeof(hex), "%X", n);
  EXPECT_EQ(Upper(m_dir + "O_P" + hex + ".TMP"), Upper(name));
  EXPECT_EQ("", testenv::ReadFile(name, "rb"));

  SetLastError(0xdeadbeef);
  EXPECT_EQ(0u, GetTempFileNameA(Path("nofolder\\").c_str(), "O_P", 0, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
}

TEST_F(FilesConformance, OpenFileExistDoesNotSearchTempFolder) {
  std::string file = Path("Exists.txt");
  testenv::WriteFile(file, "x");
  OFSTRUCT of;
  memset(&of, 0x55, sizeof(of));
  EXPECT_NE(HFILE_ERROR, OpenFile(file.c_str(), &of, OF_EXIST));
  EXPECT_EQ(0, of.nErrCode);
  EXPECT_EQ(sizeof(OFSTRUCT), of.cBytes);
  EXPECT_EQ(Upper(file), Upper(of.szPathName));

  std::string tempOnly = "prw3conf_only_in_temp.tmp";
  testenv::WriteFile(TempDir() + tempOnly, "x");
  SetLastError(0xdeadbeef);
  EXPECT_EQ(HFILE_ERROR, OpenFile(tempOnly.c_str(), &of, OF_EXIST));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, of.nErrCode);
  DeleteFileA((TempDir() + tempOnly).c_str());

  EXPECT_EQ(HFILE_ERROR, OpenFile(Path("nofolder\\a.txt").c_str(), &of, OF_EXIST));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, of.nErrCode);
  EXPECT_EQ(HFILE_ERROR, OpenFile(m_dir.substr(0, m_dir.size() - 1).c_str(), &of, OF_EXIST));
  EXPECT_EQ(ERROR_ACCESS_DENIED, of.nErrCode);
}

TEST_F(FilesConformance, OpenFileTakesNoPathOf128CharactersOrMore) {
  // Files whose full paths are 127, 128 and 200 characters long, one folder deep.
  for (size_t cch : {127u, 128u, 200u}) {
    std::string folder = Path("d");
    folder += std::string(cch - folder.size() - 6, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << cch;
    const std::string file = folder + "\\f.tmp";
    ASSERT_EQ(cch, file.size());
    testenv::WriteFile(file, "x");
    OFSTRUCT of;
    SetLastError(0xdeadbeef);
    const HFILE h = OpenFile(file.c_str(), &of, OF_EXIST);
    EXPECT_EQ(cch < OFS_MAXPATHNAME, h != HFILE_ERROR) << cch << " characters, error " << GetLastError();
    EXPECT_TRUE(DeleteFileA(file.c_str())) << "the file was there all along";
  }
}

TEST_F(FilesConformance, DeleteFileAErrors) {
  CreateDirectoryA(Path("sub").c_str(), nullptr);
  testenv::WriteFile(Path("sub\\inner.txt"), "x");
  struct Case {
    std::string path;
    DWORD error;
  } cases[] = {
      {Path("missing.txt"), ERROR_FILE_NOT_FOUND},
      {Path("no\\a.txt"), ERROR_PATH_NOT_FOUND},
      {Path("sub"), ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(c.path.c_str())) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  EXPECT_TRUE(DeleteFileA(Path("sub/INNER.txt").c_str()));
}

TEST_F(FilesConformance, FindFirstFileAMatchesFilesAndFolders) {
  CreateDirectoryA(Path("dir").c_str(), nullptr);
  testenv::WriteFile(Path("dir\\Inner.TXT"), "hello");
  CreateDirectoryA(Path("dir\\sub").c_str(), nullptr);
  using Names = std::set<std::string>;
  // The names found (folders marked with "/"), and the last error after the search.
  auto find = [](const std::string& query, DWORD* error) {
    Names names;
    WIN32_FIND_DATAA fd;
    SetLastError(0xdeadbeef);
    HANDLE h = FindFirstFileA(query.c_str(), &fd);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &fd))
      names.insert(fd.cFileName + std::string(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : ""));
    *error = GetLastError();
    if (h != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(FindClose(h));
    }
    return names;
  };
  struct Case {
    std::string query;
    Names names;
    DWORD error;
  } cases[] = {
      {Path("dir\\*"), {"./", "../", "Inner.TXT", "sub/"}, ERROR_NO_MORE_FILES},
      {Path("dir\\*.*"), {"./", "../", "Inner.TXT", "sub/"}, ERROR_NO_MORE_FILES},
      {Path("dir\\inner.txt"), {"Inner.TXT"}, ERROR_NO_MORE_FILES},
      {Path("dir\\?NNER.*"), {"Inner.TXT"}, ERROR_NO_MORE_FILES},
      {Path("DIR"), {"dir/"}, ERROR_NO_MORE_FILES},
      {Path("dir\\none*"), {}, ERROR_FILE_NOT_FOUND},
      {Path("dir\\"), {}, ERROR_FILE_NOT_FOUND},
      {Path("nofolder\\*"), {}, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    DWORD error = 0;
    EXPECT_EQ(c.names, find(c.query, &error)) << c.query;
    EXPECT_EQ(c.error, error) << c.query;
  }
}

}  // namespace
