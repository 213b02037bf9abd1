// winsim test controls for the user interface's frame: the message loop's scripted idle
// steps and dry end, timers and the simulated clock, message boxes, input state, and the
// fixed metrics and colours of the simulated display.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace winsim {

// When GetMessageA finds nothing posted and no timer due, it runs the next idle step;
// with none left it moves the clock on to the next timer (within the idle budget);
// failing that the loop has run dry: it posts WM_QUIT(0) itself instead of waiting
// forever. Steps run in order, one per idle turn, and may post messages, advance the
// clock, change the registry, ... The idle budget: idle loops (GetMessageA and
// unscripted modal loops) skip at most 60000 ms of simulated time on their own,
// counted from the last scripted step.
void PushIdleStep(std::function<void()> step);
// Whether a GetMessageA loop ended for lack of anything to do.
bool MessageLoopRanDry();
// Dispatches posted messages and due timers until none is left; never advances the
// clock, runs no idle step, and leaves a posted quit in place. Returns the count.
unsigned PumpMessages();
// Messages posted and not yet retrieved, oldest first.
std::vector<MSG> PostedMessages();

struct TimerInfo {
  HWND hwnd;  // null for a thread timer
  UINT_PTR id;
  UINT elapse;
  uint64_t due;  // simulated time of the next tick
};
// Live timers, in creation order.
std::vector<TimerInfo> Timers();
// Moves the simulated clock on; due timers tick when a loop next looks (one WM_TIMER
// per timer, however many periods passed).
void AdvanceClock(uint64_t ms);
uint64_t ClockNow();

struct MessageBoxRecord {
  HWND owner;
  std::string text;
  std::string caption;  // "Error" when none was given, as the box shows it
  UINT style;
  int result;  // 0 while the box is open
};
// The next message box (in order of scripting) runs these steps while open (pending
// messages are dispatched between them), then closes with `result`. An unscripted box
// lets time pass within the idle budget, then answers IDOK; a box also closes when a
// WM_COMMAND is posted to its "#32770" window (as on the platform).
void ScriptMessageBox(int result, std::vector<std::function<void()>> whileOpen = {});
std::vector<MessageBoxRecord> MessageBoxes();

// GetAsyncKeyState reports a key held down with its most significant bit.
void SetKeyDown(int vk, bool down = true);
// Live top-level windows of a class (letter case ignored), newest first.
std::vector<HWND> WindowsOfClass(const std::string& className);

// The simulated display.
constexpr int kScreenWidth = 1024;         // SM_CXSCREEN
constexpr int kScreenHeight = 768;         // SM_CYSCREEN
constexpr int kMenuHeight = 19;            // SM_CYMENU: also the height of a string menu item
constexpr int kMenuCheckWidth = 13;        // SM_CXMENUCHECK
constexpr int kMenuCheckHeight = 13;       // SM_CYMENUCHECK
constexpr int kCharWidth = 8;              // every character of the one fixed-pitch font
constexpr int kCharHeight = 16;
constexpr COLORREF kColorScrollbar = RGB(200, 200, 200);
constexpr COLORREF kColorMenu = RGB(240, 240, 240);
constexpr COLORREF kColorWindow = RGB(255, 255, 254);
constexpr COLORREF kColorMenuText = RGB(0, 0, 0);
constexpr COLORREF kColorHighlight = RGB(0, 120, 215);
constexpr COLORREF kColorHighlightText = RGB(255, 255, 255);

}  // namespace winsim
