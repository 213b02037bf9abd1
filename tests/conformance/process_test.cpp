// Conformance: CreateProcessA refuses a file that is not a program and takes an
// application name as it is, without adding ".exe" (only the command line's name gets it).
#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestFiles.h"

TEST(ProcessConformance, TextFileIsNoProgramAndApplicationNameGetsNoExtension) {
  const std::string prog = testenv::TempDir() + "prog", exe = prog + ".exe";
  testenv::WriteFile(exe, "not a program\r\n");
  const struct { const char* app; std::string cmd; DWORD error; } kCases[] = {
      {exe.c_str(), "", ERROR_BAD_EXE_FORMAT},
      {nullptr, "\"" + prog + "\" /x", ERROR_BAD_EXE_FORMAT},  // the command line's name gets ".exe"
      {prog.c_str(), "", ERROR_FILE_NOT_FOUND}};
  for (const auto& c : kCases) {
    std::string cmd = c.cmd;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateProcessA(c.app, cmd.empty() ? nullptr : &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &si, &pi));
    EXPECT_EQ(c.error, GetLastError()) << (c.app ? c.app : cmd);
  }
  testenv::RemoveFile(exe);
}
