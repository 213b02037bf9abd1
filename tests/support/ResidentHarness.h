// Runs the resident's program entry natively over winsim with the demo driver installed:
// the message loop is driven by the idle steps a test pushes, and a second resident (a
// second process on Windows) can be started from inside a running one.
#pragma once

#include "support/DriverPackage.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class ResidentTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The resident's entry with a command line (the text after the program's name).
  int RunResident(const std::string& cmdLine);
  // A second resident started while the first runs; its window goes with it, as with
  // its process.
  int RunSecondResident(const std::string& cmdLine);
  // The command line the start-up entry gives the resident.
  std::string StartupCommandLine() const;
  // The hidden window of the running resident, or null.
  static HWND ResidentWindow();
  // Posts WM_CLOSE to the running resident.
  static void CloseResident();
  // Makes the printer's target as the resident's first start does; returns its path.
  std::string CreateTarget();
  // The target key the printer got (empty when none).
  std::string TargetKey() const;
  // The resource id behind the tray's icon for the resident's window (0 when none).
  static int TrayIconResource();
  // Enables the debug log into C:\O_PxxIC.LOG; returns the log's text so far.
  static void EnableDebugLog();
  static std::string DebugLogText();

  testenv::DemoDriver m_driver;
};

const char kRunKey[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";
