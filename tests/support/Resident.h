// The resident's program entry run inside the test program, with the demo driver
// installed for the test printer. While it runs, the platform calls that would reach
// outside the process are replaced by recorders: the notification area (there is none in
// a headless prefix), message boxes (answered OK), process creation (reported started)
// and the pop-up menu (dismissed at once, as by a click elsewhere). Steps run one per
// turn of the message loop; after the last one the resident's window is closed.
#pragma once

#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

#include <functional>
#include <string>
#include <vector>

const char kRunKey[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test";
const char kMenuKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test\\Menu";

class ResidentTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the resident's entry with a command line ("" gives the start-up entry's); each
  // step on its own turn of the loop; a resident that ends before its steps fails the test
  // unless bAllSteps is false. Called from a step, it is a second resident's start while
  // the first runs (a process of its own on Windows). Returns the exit code.
  int Run(const std::string& cmdLine, std::vector<std::function<void()>> steps = {}, bool bAllSteps = true);

  // What the resident asked of the platform, one line per call:
  //   "icon add|modify|delete <index of the icon shown, or ?> <tip>" (" (another record)" when the
  //   record is not the first form's for the window and WM_TRAYNOTIFY), "box <text>|<caption>|owned|unowned",
  //   "start <application name>|<command line>", "sleep <ms>", "timer <id> <ms>", "kill <id>",
  //   "foreground", "menu <flags> <owner|other>", "null" (WM_NULL sent to the window);
  //   and "closed" when the steps were done and the resident still ran, so was closed.
  static std::vector<std::string>& Journal();
  // The journal's lines that start with prefix, joined by "\n".
  static std::string Lines(const std::string& prefix);
  // Runs fn while the next pop-up menu is open (from inside the modal loop), before it closes.
  static void WhileMenuOpen(std::function<void()> fn);
  // Runs fn while the next message box is shown, before it is answered.
  static void WhileBoxOpen(std::function<void()> fn);
  // Posts a message to the resident, past any hook; Tray posts a mouse message of its icon.
  static void Post(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  static void Tray(UINT uMouseMessage);
  static HWND Window();

  // The pop-up's items, one line each: "\"text\" id [default]", "ownerdraw id" or "---".
  static std::string MenuItems();
  std::string TargetKey() const;
  bool HasRunEntry(HKEY hHive = HKEY_CURRENT_USER) const {
    return testenv::GetReg(hHive, kRunKey, m_driver.printerKey) != "<missing>";
  }
  // The window the shared table holds in the printer's tray slot.
  HWND TableHolder() const;
  // Deletes the parameter files in the temporary folder, written for status programs.
  static void RemoveParamFiles();
  static void EnableDebugLog();
  static bool LogHas(const std::string& text);

  testenv::DemoDriver m_driver;
};
