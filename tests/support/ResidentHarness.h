// Runs the resident's program entry natively over winsim with the demo driver installed:
// the message loop is driven by the idle steps a test pushes, and a second resident (a
// second process on Windows) can be started from inside a running one.
#pragma once

#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

const char kRunKey[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test";

class ResidentTest : public testing::Test {
protected:
  void SetUp() override { ResetMachine(); }
  void TearDown() override { testenv::UninstallDemoDriver(); }
  // A fresh machine with the driver installed, as at the start of every test.
  void ResetMachine();
  // The resident's entry with a command line (the text after the program's name); "" is
  // the start-up entry's. Started inside a running resident, it is a second process.
  // RunAndClose runs each step on its own idle turn, then closes it.
  int RunResident(const std::string& cmdLine);
  int RunAndClose(const std::string& cmdLine, std::initializer_list<std::function<void()>> steps);
  static HWND ResidentWindow() { return FindWindowA(TRAY_WND_CLASS, TRAY_WND_TITLE); }
  static void CloseResident() { PostMessageA(ResidentWindow(), WM_CLOSE, 0, 0); }
  // Right-clicks the icon with the menu scripted; the dump of the pop-up as it was shown.
  static std::string OpenMenu(winsim::MenuScript script);
  // The resource library replaced by one built from .rc text (the demo's pictures).
  std::shared_ptr<winsim::ModuleResources> UseResources(const std::string& rcText);

  // Makes the printer's target as the resident's first start does; returns its path.
  std::string CreateTarget();
  // The target the printer has (empty when none), and one of its values.
  std::string TargetKey() const;
  std::string TargetValue(const char* pszName) const {
    return testenv::GetReg(HKEY_CURRENT_USER, TargetKey(), pszName);
  }
  bool HasRunEntry(HKEY hHive = HKEY_CURRENT_USER) const {
    return testenv::GetReg(hHive, kRunKey, m_driver.printerKey) != "<missing>";
  }
  // The window the shared table holds for the printer, as a second resident finds it.
  HWND TableHolder() const;
  // The resource id behind the resident's tray icon (0 when none).
  static int TrayIconResource();
  static void EnableDebugLog() { testenv::SetRegDword(HKEY_LOCAL_MACHINE, REG_DEBUG_KEY, REG_DEBUG_VALUE, 1); }
  static bool LogHas(const std::string& line) {
    return testenv::ReadFile(DEBUG_LOG_PATH).find(line) != std::string::npos;
  }

  testenv::DemoDriver m_driver;
};
