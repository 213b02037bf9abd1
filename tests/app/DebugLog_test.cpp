// The debug log on both platforms: its registry switch, and a file deleted between two
// lines.
#include "app/DebugLog.h"

#include "support/TestFiles.h"
#include "support/TestRegistry.h"

#include <gtest/gtest.h>

namespace {

const char kKey[] = "SOFTWARE\\OLMAR\\PRW3\\Debug";

TEST(DebugLog, SwitchValueDecidesWhetherTheLogIsOn) {
  const std::string path = testenv::TempDir() + "prw3-debuglog-test.log";
  EXPECT_EQ(0, DebugLogInit(path.c_str(), "O_PIC")) << "no key";
  // The type is not looked at: data of at most 4 bytes that is not all zero.
  const struct {
    DWORD type;
    std::string data;
    int on;
  } cases[] = {{REG_DWORD, std::string("\1\0\0\0", 4), 1}, {REG_DWORD, std::string(4, '\0'), 0},
               {REG_SZ, std::string("1", 2), 1}, {REG_SZ, std::string("1234", 5), 0}, {REG_SZ, std::string(1, '\0'), 0}};
  for (const auto& c : cases) {
    testenv::SetRegValue(HKEY_LOCAL_MACHINE, kKey, "O_PIC", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    EXPECT_EQ(c.on, DebugLogInit(path.c_str(), "O_PIC")) << c.type << " " << c.data;
    EXPECT_EQ(c.on, DebugLogWrite("x"));
    testenv::RemoveFile(path);
  }
  EXPECT_EQ(0, DebugLogInit(nullptr, "O_PIC"));
  EXPECT_EQ(0, DebugLogInit("", "O_PIC"));
  EXPECT_EQ(0, DebugLogWrite("x"));
}

TEST(DebugLog, NullArgumentsWriteNothingAndADeletedFileIsMadeAgain) {
  const std::string path = testenv::TempDir() + "prw3-debuglog-test.log";
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, kKey, "O_PIC", 1);
  ASSERT_EQ(1, DebugLogInit(path.c_str(), "O_PIC"));
  EXPECT_EQ(1, DebugLogWrite("gone"));
  testenv::RemoveFile(path);
  EXPECT_EQ(0, DebugLogWrite(nullptr) + DebugLogWriteStr(nullptr, "x") + DebugLogWriteStr("x", nullptr) +
                   DebugLogWriteInt(nullptr, 1));
  EXPECT_EQ(1, DebugLogWriteStr("lpszCmdLine", "/P \"a\""));
  EXPECT_EQ(1, DebugLogClose());
  const std::string bytes = testenv::ReadFile(path);
  EXPECT_EQ(" : lpszCmdLine : /P \"a\"\r\n", bytes.substr(10)) << bytes;
  DebugLogInit("", "O_PIC");
  testenv::RemoveFile(path);
}

}  // namespace
