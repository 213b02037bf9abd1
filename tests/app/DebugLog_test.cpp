// The debug log: its registry switch, its line formats and its file handling, on the
// real registry and file system as well as over winsim.
#include "app/DebugLog.h"

#include "support/TestFiles.h"
#include "support/TestRegistry.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

const char kDebugKey[] = "SOFTWARE\\OLMAR\\PRW3\\Debug";

class DebugLogTest : public testing::Test {
protected:
  void SetUp() override {
    m_path = testenv::TempDir() + "prw3-debuglog-test.log";
    testenv::RemoveFile(m_path);
  }
  void TearDown() override {
    DebugLogClose();
    DebugLogInit("", "O_PIC");
    testenv::RemoveFile(m_path);
    testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kDebugKey);
  }
  int Init() { return DebugLogInit(m_path.c_str(), "O_PIC"); }

  std::string m_path;
};

TEST_F(DebugLogTest, SwitchValueDecidesWhetherTheLogIsOn) {
  EXPECT_EQ(0, Init()) << "no key";
  EXPECT_EQ(0, DebugLogWrite("x"));
  EXPECT_FALSE(testenv::FileExists(m_path));

  testenv::SetRegDword(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", 0);
  EXPECT_EQ(0, Init()) << "value 0";
  EXPECT_EQ(0, DebugLogWrite("x"));

  testenv::SetRegDword(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", 1);
  EXPECT_EQ(1, Init()) << "REG_DWORD 1";

  // The type is not looked at: the string "1" is two bytes of data, not all zero.
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", "1");
  EXPECT_EQ(1, Init()) << "REG_SZ 1";
  // "1234" with its terminator is five bytes: longer than the 4-byte buffer.
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", "1234");
  EXPECT_EQ(0, Init()) << "REG_SZ 1234";
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", "");
  EXPECT_EQ(0, Init()) << "empty string";

  testenv::SetRegDword(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", 1);
  EXPECT_EQ(0, DebugLogInit("", "O_PIC")) << "empty path";
  EXPECT_EQ(0, DebugLogInit(nullptr, "O_PIC")) << "null path";
  EXPECT_EQ(0, DebugLogWrite("x"));
}

TEST_F(DebugLogTest, LinesCarryTheTickAndTheirFieldsInTextMode) {
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", 1);
  ASSERT_EQ(1, Init());
  EXPECT_EQ(1, DebugLogWrite("***** LOG START ******"));
  EXPECT_EQ(1, DebugLogWriteStr("lpszCmdLine", "/P \"a\""));
  EXPECT_EQ(1, DebugLogWriteInt("MainFrame.StartUp() : Result", -1));
  EXPECT_EQ(1, DebugLogWrite(""));
  EXPECT_EQ(0, DebugLogWrite(nullptr));
  EXPECT_EQ(0, DebugLogWriteStr(nullptr, "x"));
  EXPECT_EQ(0, DebugLogWriteStr("x", nullptr));
  EXPECT_EQ(0, DebugLogWriteInt(nullptr, 1));
  EXPECT_EQ(1, DebugLogClose());

  // Each line: the tick right-aligned in ten columns, " : " before every further field,
  // and a line end stored as carriage return and line feed.
  const std::string tick = "[ -]{0,9}-?[0-9]{1,10}";
  const std::regex expected("^" + tick + " : \\*\\*\\*\\*\\* LOG START \\*\\*\\*\\*\\*\\*\r\n" + tick +
                            " : lpszCmdLine : /P \"a\"\r\n" + tick + " : MainFrame.StartUp\\(\\) : Result : -1\r\n" +
                            tick + " : \r\n$");
  const std::string bytes = testenv::ReadFile(m_path);
  EXPECT_TRUE(std::regex_match(bytes, expected)) << bytes;
  EXPECT_EQ(' ', bytes[0]) << "a tick of fewer than ten digits is padded";
}

TEST_F(DebugLogTest, DeletedFileIsCreatedAgainByTheNextLine) {
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, kDebugKey, "O_PIC", 1);
  ASSERT_EQ(1, Init());
  EXPECT_EQ(1, DebugLogWrite("one"));
  testenv::RemoveFile(m_path);
  EXPECT_FALSE(testenv::FileExists(m_path));
  EXPECT_EQ(1, DebugLogWrite("two"));
  const std::string bytes = testenv::ReadFile(m_path);
  EXPECT_EQ(std::string::npos, bytes.find("one"));
  EXPECT_NE(std::string::npos, bytes.find("two"));
}

}  // namespace
