// winsim timers: window and thread timers on the simulated clock. A due timer yields one
// WM_TIMER when a loop finds no posted message, however many periods have passed.
#include "core.h"
#include "input.h"
#include "message_queue.h"
#include "window_store.h"

#include "winsim/control.h"

#include <vector>

using namespace winsim::detail;

namespace {

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  uint64_t due;
};

struct TimerState {
  std::vector<Timer> timers;  // in creation order, which breaks ties between due timers
  UINT_PTR nextThreadId = 0x7FFF;
};

TimerState& S() {
  static TimerState s;
  return s;
}

const ResetHook g_reset([] { S() = TimerState{}; });

const DestroyHook g_destroy([](HWND hwnd) {
  auto& timers = S().timers;
  for (auto it = timers.begin(); it != timers.end();) it = it->hwnd == hwnd ? timers.erase(it) : it + 1;
});

Timer* Find(HWND hwnd, UINT_PTR id) {
  for (Timer& t : S().timers)
    if (t.hwnd == hwnd && t.id == id) return &t;
  return nullptr;
}

// Thread timers get ids counting down from 0x7FFF, skipping ids in use.
UINT_PTR NewThreadTimerId() {
  TimerState& s = S();
  for (;;) {
    UINT_PTR id = s.nextThreadId;
    s.nextThreadId = s.nextThreadId <= 0x100 ? 0x7FFF : s.nextThreadId - 1;
    if (!Find(nullptr, id)) return id;
  }
}

}  // namespace

namespace winsim::detail {

bool TakeDueTimer(MSG* msg) {
  Timer* first = nullptr;
  for (Timer& t : S().timers)
    if (t.due <= Now() && (!first || t.due < first->due)) first = &t;
  if (!first) return false;
  *msg = MSG{};
  msg->hwnd = first->hwnd;
  msg->message = WM_TIMER;
  msg->wParam = first->id;
  msg->lParam = reinterpret_cast<LPARAM>(first->proc);
  msg->time = GetTickCount();
  msg->pt = CursorPos();
  // The next tick keeps the timer's phase; periods that passed unseen are not made up.
  while (first->due <= Now()) first->due += first->elapse;
  return true;
}

bool NextTimerDue(uint64_t* due) {
  bool any = false;
  for (const Timer& t : S().timers) {
    if (!any || t.due < *due) *due = t.due;
    any = true;
  }
  return any;
}

bool IsTimerProc(LPARAM proc) {
  for (const Timer& t : S().timers)
    if (reinterpret_cast<LPARAM>(t.proc) == proc) return true;
  return false;
}

}  // namespace winsim::detail

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  WindowRecord* w = nullptr;
  if (hWnd && !(w = LiveWindow(hWnd))) return Fail<UINT_PTR>(0, ERROR_INVALID_HANDLE);
  if (DWORD e = Fault("SetTimer")) return Fail<UINT_PTR>(0, e);
  HWND owner = w ? w->hwnd : nullptr;
  if (uElapse < USER_TIMER_MINIMUM) uElapse = USER_TIMER_MINIMUM;
  if (uElapse > USER_TIMER_MAXIMUM) uElapse = USER_TIMER_MAXIMUM;
  // A thread timer keeps its id only when it replaces one of this thread's timers.
  UINT_PTR id = nIDEvent;
  if (!owner && (!id || !Find(nullptr, id))) id = NewThreadTimerId();
  Timer timer{owner, id, uElapse, lpTimerFunc, Now() + uElapse};
  if (Timer* existing = Find(owner, id))
    *existing = timer;
  else
    S().timers.push_back(timer);
  // A window timer with id 0 exists under id 0, but the call reports success as 1.
  return id ? id : 1;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  if (DWORD e = Fault("KillTimer")) return Fail(FALSE, e);
  WindowRecord* w = hWnd ? LiveWindow(hWnd) : nullptr;
  if (hWnd && !w) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  auto& timers = S().timers;
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->hwnd == (w ? w->hwnd : nullptr) && it->id == uIDEvent) {
      timers.erase(it);
      return TRUE;
    }
  }
  return Fail(FALSE, ERROR_INVALID_PARAMETER);
}

namespace winsim {

std::vector<TimerInfo> Timers() {
  std::vector<TimerInfo> out;
  for (const Timer& t : S().timers) out.push_back(TimerInfo{t.hwnd, t.id, t.elapse, t.due});
  return out;
}

void AdvanceClock(uint64_t ms) { AdvanceNow(ms); }

uint64_t ClockNow() { return Now(); }

}  // namespace winsim
