// The resident's program entry run inside the test program, with the demo driver
// installed for the test printer. While it runs, the platform calls that would reach
// outside the process are replaced by recorders: the notification area (there is none in
// a headless prefix), message boxes (answered OK), process creation (reported started),
// waits (counted, not waited), the deleted-printer timer (noted; tests tick it) and the
// pop-up menu (dismissed at once, as by a click elsewhere). Steps run one per turn of
// the message loop; after the last one the resident's window is closed.
#pragma once

#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

// Replaces an import, as FAULT_REPLACE does, as long as Keep holds a hook.
#define KEEP_REPLACE(import, ...) Keep(std::make_shared<fault::CReplace<decltype(&import)>>(#import, __VA_ARGS__))

using testenv::kRunKey;
const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test";
const char kMenuKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test\\Menu";

using Steps = std::vector<std::function<void()>>;

class ResidentTest : public testing::Test {
public:
  void SetUp() override;
  void TearDown() override;
  // A fresh installation: no target, no hook held.
  void Reinstall();

  // Runs the resident's entry with a command line ("" gives the start-up entry's); each
  // step on its own turn of the loop; a resident that ends before its steps, or with an
  // exit code other than 0, fails the test (the first unless bAllSteps is false). Called
  // from a step, it is a second resident's start while the first runs (a process of its
  // own on Windows). A first start begins a new journal, and drops the hooks kept at its end.
  void Run(const std::string& cmdLine, Steps steps = {}, bool bAllSteps = true);

  // What the resident asked of the platform, one line per call:
  //   "icon add|modify|delete <resource index of the icon, or ?> <tip>" (" (another record)"
  //   when the record is not the first form's for the window and WM_TRAYNOTIFY), for the
  //   calls the shell took; "box <text>|<caption>|owned|unowned", "start <application
  //   name>|<command line>", "timer <id> <ms>", "kill <id>", "foreground", "menu <flags>
  //   <owner|other>", "null" (WM_NULL posted to the window); and "closed" when the steps
  //   were done and the resident still ran, so was closed.
  static std::vector<std::string>& Journal() { return s_journal; }
  // The journal's lines that start with one of the prefixes, joined by "\n".
  static std::string Lines(std::initializer_list<const char*> prefixes);
  // The "start" lines without their prefix.
  static std::vector<std::string> Started();
  // Decides, until the test's end, whether the shell takes an icon call (NIM_ADD...).
  static void ShellTakes(std::function<bool(DWORD dwMessage)> fn) { s_shellTakes = std::move(fn); }
  // The milliseconds the resident slept since the test began (or Reinstall).
  static DWORD Slept() { return s_dwSlept; }
  // The items of the last pop-up menu shown, joined by ", ": "\"text\" id [default]" for a
  // text item, "id" for an owner-drawn one, "-" for a separator.
  static std::string MenuShown() { return s_menuShown; }
  // The names a screen reader reads for that menu's owner-drawn items, joined by ", ".
  static std::wstring MenuNames() { return s_menuNames; }
  // The icon the shell took last.
  static HICON IconShown() { return s_hIconShown; }

  // Fails an import (every call, or the nth from now) until the end of the next (or the
  // current) run, Reinstall or the test's end; Keep holds any other hook as long.
  void Fail(const char* pszImport, DWORD dwError, unsigned nAt = fault::kEveryCall) {
    Keep(std::make_shared<fault::CHook>(pszImport, dwError, nAt));
  }
  void Keep(std::shared_ptr<void> pHook) { m_hooks.push_back(std::move(pHook)); }
  // From now on the spooler does not know the printer (ERROR_INVALID_PRINTER_NAME), or
  // cannot be reached.
  void Spooler(DWORD dwError) {
    Fail("OpenPrinterA", dwError);
    Fail("OpenPrinterW", dwError);
  }
  // Runs fn while the next pop-up menu is open (from inside the modal loop), before it closes.
  static void WhileMenuOpen(std::function<void()> fn) { s_whileMenuOpen = std::move(fn); }
  // Runs fn while the next message box is shown, before it is answered.
  static void WhileBoxOpen(std::function<void()> fn) { s_whileBoxOpen = std::move(fn); }
  // Posts a message to the resident, past any hook; Tray posts a mouse message of its
  // icon, Tick a timer's tick, Command (as a step) a menu command.
  static void Post(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  static void Tray(UINT uMouseMessage) { Post(WM_TRAYNOTIFY, 0, uMouseMessage); }
  static void Tick() { Post(WM_TIMER, DELPRN_TIMER_ID); }
  static std::function<void()> Command(UINT nID) {
    return [nID] { Post(WM_COMMAND, nID); };
  }
  // A step: the spooler says the printer no longer exists, then the step given.
  std::function<void()> Deleted(std::function<void()> then) {
    return [this, then] {
      Spooler(ERROR_INVALID_PRINTER_NAME);
      then();
    };
  }
  static HWND Window() { return g_pMainFrame ? g_pMainFrame->m_hWnd : nullptr; }
  // Draws an owner-drawn item into hdc as an open menu does; Measure gives its size.
  static void Draw(UINT nID, HDC hdc, const RECT& rc, UINT uState = ODS_SELECTED);
  static SIZE Measure(UINT nID);

  // What is left of the start-up entries and the parameter file: "HKCU HKLM file" when all are.
  std::string Left() const;
  // Whether the shared table's block exists.
  static bool BlockExists();
  // The parameter files written for status programs, one path a line: in the temporary
  // folder, or the current one when there is none. RemoveParamFiles deletes them.
  static std::string ParamFiles();
  static void RemoveParamFiles();

  testenv::DemoDriver m_driver;

private:
  std::vector<std::shared_ptr<void>> m_hooks;
  static inline std::vector<std::string> s_journal;
  static inline std::function<bool(DWORD)> s_shellTakes;
  static inline DWORD s_dwSlept = 0;
  static inline std::string s_menuShown;
  static inline std::wstring s_menuNames;
  static inline HICON s_hIconShown = nullptr;
  static inline std::function<void()> s_whileMenuOpen;
  static inline std::function<void()> s_whileBoxOpen;
};
