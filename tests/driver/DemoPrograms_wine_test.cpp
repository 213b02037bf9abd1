// The demo driver's programs started the way the resident starts them: the status
// program takes the printer from a parameter file (and deletes it) or from the inline
// form, completes it from the spooler and the driver key and records /E; the auxiliary
// tool records its command line.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/DriverPackage.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

namespace {

const char kDriver[] = "prw3test";

class DemoProgramsTest : public testing::Test {
protected:
  void SetUp() override {
    m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), kDriver);
    m_record = testenv::TempDir() + "prw3demo-records.txt";
    testenv::RemoveFile(m_record);
    SetEnvironmentVariableA("PRW3_RECORD_FILE", m_record.c_str());
    SetEnvironmentVariableA("PRW3_STATUS_TIMEOUT_MS", "50");
  }
  void TearDown() override {
    SetEnvironmentVariableA("PRW3_RECORD_FILE", nullptr);
    SetEnvironmentVariableA("PRW3_STATUS_TIMEOUT_MS", nullptr);
    testenv::RemoveFile(m_record);
    testenv::UninstallDemoDriver();
  }

  // Starts the program with the arguments, waits for it and returns its record.
  std::map<std::string, std::string> Run(const std::string& program, const std::string& args) {
    std::string cmdline = "\"" + program + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(program.c_str(), &cmdline[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << cmdline << ": error " << GetLastError();
      return {};
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 20000)) << cmdline;
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(0u, code) << cmdline;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    auto records = testenv::ReadProgramRecords(m_record);
    testenv::RemoveFile(m_record);
    if (records.size() != 1) {
      ADD_FAILURE() << records.size() << " records for " << cmdline;
      return {};
    }
    EXPECT_EQ(cmdline, records[0]["cmdline"]);
    EXPECT_EQ(program, records[0]["module"]);
    return records[0];
  }

  testenv::DemoDriver m_driver;
  std::string m_record;
};

TEST_F(DemoProgramsTest, StatusProgramReadsTheParameterFileOrTheInlineForm) {
  const std::string printer = testenv::ExistingPrinter();
  const std::string paramFile = testenv::TempDir() + "O_PDEMO.TMP";
  testenv::WriteFile(paramFile, "/P \"" + printer + "\"\r\n/E\r\n");

  auto r = Run(m_driver.statusProgram, "/F \"O_PDEMO.TMP\"");
  EXPECT_EQ("status", r["program"]);
  EXPECT_EQ(printer, r["printer"]);
  EXPECT_EQ(kDriver, r["driver"]) << "from the spooler";
  EXPECT_EQ("CUPS:" + printer, r["port"]) << "from the spooler";
  EXPECT_EQ(m_driver.modelID, r["model"]) << "from the driver key";
  EXPECT_EQ("1", r["E"]);
  EXPECT_FALSE(testenv::FileExists(paramFile)) << "a /F file is deleted once read";

  const std::string inline_ = "/P" + std::to_string(printer.size()) + " \"" + printer + "\" /O0 \"\" /M8 \"PRW3DEMO\" ";
  r = Run(m_driver.statusProgram, inline_);
  EXPECT_EQ(printer, r["printer"]);
  EXPECT_EQ("PRW3DEMO", r["model"]);
  EXPECT_EQ("0", r["E"]);
}

TEST_F(DemoProgramsTest, AuxiliaryToolRecordsItsCommandLine) {
  const std::string args = "/menu /P \"prw3test\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:prw3test\"";
  auto r = Run(m_driver.auxProgram, args);
  EXPECT_EQ("aux", r["program"]);
  EXPECT_EQ(args, r["args"]);
}

}  // namespace
