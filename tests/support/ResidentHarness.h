// Runs the resident's program entry natively over winsim with the demo driver installed:
// the message loop is driven by the idle steps a test pushes, and a second resident (a
// second process on Windows) can be started from inside a running one.
#pragma once

#include "support/DriverPackage.h"
#include "winsim/control.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

const char kRunKey[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

class ResidentTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // A fresh machine with the driver installed, as at the start of every test.
  void ResetMachine();

  // The resident's entry with a command line (the text after the program's name); "" is
  // the start-up entry's. Each step runs on its own idle turn while the resident runs;
  // after the last one it is closed.
  int RunResident(const std::string& cmdLine);
  std::string StartupCommandLine() const;
  int RunAndClose(const std::string& cmdLine, std::initializer_list<std::function<void()>> steps);
  // A second resident started while the first runs; its window goes with it, as with
  // its process.
  int RunSecondResident(const std::string& cmdLine);
  // The hidden window of the running resident, or null.
  static HWND ResidentWindow();
  static void CloseResident();
  // Right-clicks the icon with the menu scripted; the dump of the pop-up as it was shown.
  static std::string OpenMenu(winsim::MenuScript script);

  // Makes the printer's target as the resident's first start does; returns its path.
  std::string CreateTarget();
  // The target the printer has (empty when none), and one of its values.
  std::string TargetKey() const;
  std::string TargetValue(const char* pszName) const;
  bool HasRunEntry(HKEY hHive = HKEY_CURRENT_USER) const;
  // The window the shared table holds for the printer, found as a second resident
  // would find it; null when none.
  HWND TableHolder() const;
  // The resource id behind the tray's icon for the resident's window (0 when none).
  static int TrayIconResource();
  // Switches the debug log on (C:\O_PxxIC.LOG), and reads it.
  static void EnableDebugLog();
  static std::string DebugLogText();

  testenv::DemoDriver m_driver;
};
