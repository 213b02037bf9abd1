// The debug log: its registry switch, the tick column at the limits of the 32-bit count,
// and a log file that cannot be opened for a while.
#include "app/DebugLog.h"

#include "support/Fault.h"
#include "support/TestEnv.h"

TEST(DebugLog, SwitchValueTickColumnAndALineLostOnlyWhileTheFileCannotBeOpened) {
  const std::string key = "SOFTWARE\\OLMAR\\PRW3\\Debug";
  // A folder of this run's own: a run that crashed leaves one that must not spoil the next.
  const std::string dir = testenv::TempDir() + "prw3-logs" + std::to_string(GetCurrentProcessId());
  const std::string path = dir + "\\O_PxxIC.LOG";
  const std::string tooLong = "C:\\" + std::string(300, 'a');
  // No key; then the type is not looked at: data of at most 4 bytes that is not all zero switches it on.
  std::string on = std::to_string(DebugLogInit(path.c_str(), "O_PIC"));
  const std::pair<DWORD, std::string> cases[] = {
      {REG_DWORD, std::string(4, '\0')},
      {REG_SZ, std::string("1", 2)},
      {REG_SZ, std::string("1234", 5)},
      {REG_SZ, std::string(1, '\0')},
      {REG_DWORD, std::string("\1\0\0\0", 4)},
  };
  for (const auto& [type, data] : cases) {
    testenv::SetRegValue(HKEY_LOCAL_MACHINE, key, "O_PIC", type, data.data(), DWORD(data.size()));
    on += std::to_string(DebugLogInit(path.c_str(), "O_PIC"));
  }
  EXPECT_EQ("001001", on);
  // No folder yet: the lines are lost.
  EXPECT_EQ(0, DebugLogWrite("x") + DebugLogWriteStr("x", "x") + DebugLogWriteInt("x", 1));
  ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
  fault::CHook open("_fsopen");
  fault::CHook close("fclose");
  DWORD dwTick = 0;
  auto uptime = FAULT_REPLACE(GetTickCount, [&](auto) { return dwTick; });
  // After 24.8 days of uptime the count turns negative, and the field grows.
  for (DWORD tick : {0x0u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    dwTick = tick;
    EXPECT_EQ(1, DebugLogWrite("x"));
  }
  EXPECT_EQ(0,
            DebugLogWrite(nullptr) + DebugLogWriteStr(nullptr, "x") + DebugLogWriteStr("x", nullptr) +
                DebugLogWriteInt(nullptr, 1));
  EXPECT_EQ(3, DebugLogWriteStr("lpszCmdLine", "/P \"a\"") + DebugLogWriteInt("n", -5) + DebugLogClose());
  // No stream left open.
  EXPECT_EQ(open.Successes(), close.Calls());
  // A path missing, empty or too long for its buffer leaves the log off rather than cut.
  EXPECT_EQ(0, DebugLogInit(nullptr, "O_PIC") + DebugLogInit("", "O_PIC") + DebugLogInit(tooLong.c_str(), "O_PIC"));
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, key, "O_PIC", 0);
  ASSERT_EQ(0, DebugLogInit(path.c_str(), "O_PIC"));
  EXPECT_EQ(0, DebugLogWrite("x") + DebugLogWriteStr("x", "x") + DebugLogWriteInt("x", 1));
  EXPECT_EQ(
      "         0 : x\r\n2147483647 : x\r\n-2147483648 : x\r\n        -1 : x\r\n"
      "        -1 : lpszCmdLine : /P \"a\"\r\n        -1 : n : -5\r\n",
      testenv::ReadFile(path));
  testenv::RemoveFile(path);
  RemoveDirectoryA(dir.c_str());
}
