// winsim messages: the one thread's queue (posted messages, the quit flag), sent and
// broadcast messages, registered messages, GetMessageA with the idle turn that keeps a
// native message loop from ever blocking, and the scripted idle steps tests push.
#include "core.h"
#include "menus.h"
#include "input.h"
#include "message_queue.h"
#include "window_store.h"

#include "winsim/control.h"

#include <map>
#include <string>

using namespace winsim::detail;

namespace {

struct QueueState {
  std::deque<MSG> posted;
  bool quit = false;
  int quitCode = 0;
  Steps idleSteps;
  bool ranDry = false;
  uint64_t idleAdvanced = 0;  // clock moved by idle turns since the last scripted step
  std::map<std::string, UINT> registered;  // by upper-cased name
  UINT nextRegistered = 0xC100;
};

// The most simulated time idle turns may skip after the last scripted step.
const uint64_t kIdleLimit = 60000;

QueueState& S() {
  static QueueState s;
  return s;
}

const ResetHook g_reset([] { S() = QueueState{}; });

// Messages still queued for a window that is gone are dropped with it.
const DestroyHook g_destroy([](HWND hwnd) {
  auto& posted = S().posted;
  for (auto it = posted.begin(); it != posted.end();)
    it = it->hwnd == hwnd ? posted.erase(it) : it + 1;
});

MSG MakeMsg(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg = {};
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  msg.pt = CursorPos();
  return msg;
}

// Messages whose parameters point into the sender's memory cannot be posted.
bool IsSyncOnly(UINT message) {
  switch (message) {
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
      return true;
    default:
      return false;
  }
}

bool IsBroadcast(HWND hwnd) { return hwnd == HWND_BROADCAST; }

}  // namespace

namespace winsim::detail {

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsBroadcast(hwnd)) {
    for (HWND target : TopLevelWindows()) S().posted.push_back(MakeMsg(target, message, wParam, lParam));
    return;
  }
  WindowRecord* w = LiveWindow(hwnd);
  S().posted.push_back(MakeMsg(w ? w->hwnd : nullptr, message, wParam, lParam));
}

UINT RegisteredMessage(LPCSTR name) {
  std::string key;
  for (const char* p = name; *p; ++p) key += static_cast<char>(FoldCase(static_cast<unsigned char>(*p)));
  QueueState& s = S();
  auto it = s.registered.find(key);
  if (it != s.registered.end()) return it->second;
  UINT value = s.nextRegistered++;
  s.registered[key] = value;
  return value;
}

BOOL Translate(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN)
    return msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP;
  // The keys that make characters in the simulated (US) layout.
  WPARAM vk = msg.wParam;
  WPARAM ch = 0;
  if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_SPACE || vk == VK_BACK || (vk >= '0' && vk <= '9'))
    ch = vk;
  else if (vk >= 'A' && vk <= 'Z')
    ch = IsKeyDown(VK_SHIFT) ? vk : vk + ('a' - 'A');
  if (ch) Post(msg.hwnd, msg.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, ch, msg.lParam);
  return TRUE;
}

LRESULT Dispatch(const MSG& msg) {
  if (msg.message == WM_TIMER && msg.lParam) {
    if (!IsTimerProc(msg.lParam)) return 0;
    auto proc = reinterpret_cast<TIMERPROC>(msg.lParam);
    proc(msg.hwnd, WM_TIMER, msg.wParam, GetTickCount());
    return 0;
  }
  if (!msg.hwnd) return 0;
  if (!LiveWindow(msg.hwnd)) return Fail<LRESULT>(0, ERROR_INVALID_WINDOW_HANDLE);
  return CallWindowProcedure(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

Next TakeNext(MSG* msg, bool takeQuit) {
  NoteQueueRead();
  QueueState& s = S();
  if (!s.posted.empty()) {
    *msg = s.posted.front();
    s.posted.pop_front();
    return Next::Message;
  }
  if (s.quit) {
    *msg = MakeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0);
    if (takeQuit) s.quit = false;
    return Next::Quit;
  }
  return TakeDueTimer(msg) ? Next::Message : Next::None;
}

bool IdleTurn(Steps* steps) {
  QueueState& s = S();
  if (steps && !steps->empty()) {
    std::function<void()> step = std::move(steps->front());
    steps->pop_front();
    s.idleAdvanced = 0;
    step();
    return true;
  }
  uint64_t due = 0;
  if (!NextTimerDue(&due)) return false;
  uint64_t wait = due > Now() ? due - Now() : 0;
  if (s.idleAdvanced + wait > kIdleLimit) return false;
  s.idleAdvanced += wait;
  AdvanceNow(wait);
  return true;
}

}  // namespace winsim::detail

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd && !IsBroadcast(hWnd) && !LiveWindow(hWnd)) return Fail(FALSE, ERROR_INVALID_WINDOW_HANDLE);
  if (IsSyncOnly(Msg)) return Fail(FALSE, ERROR_MESSAGE_SYNC_ONLY);
  if (DWORD e = Fault("PostMessageA")) return Fail(FALSE, e);
  // A null window posts to the thread itself.
  Post(hWnd, Msg, wParam, lParam);
  NoteMessageTo(hWnd);
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!IsBroadcast(hWnd) && !LiveWindow(hWnd)) return Fail<LRESULT>(0, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("SendMessageA")) return Fail<LRESULT>(0, e);
  if (IsBroadcast(hWnd)) {
    for (HWND target : TopLevelWindows()) CallWindowProcedure(target, Msg, wParam, lParam);
    return TRUE;
  }
  // One thread: a sent message is handled at once, ahead of everything queued.
  NoteMessageTo(hWnd);
  return CallWindowProcedure(hWnd, Msg, wParam, lParam);
}

UINT WINAPI RegisterWindowMessageA(LPCSTR lpString) {
  if (!lpString || !*lpString) return Fail(0u, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("RegisterWindowMessageA")) return Fail(0u, e);
  return RegisteredMessage(lpString);
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (!lpMsg) return Fail(-1, ERROR_INVALID_PARAMETER);
  // The program's loops never filter; a filter would silently change what they see.
  if (hWnd || wMsgFilterMin || wMsgFilterMax) return Fail(-1, ERROR_CALL_NOT_IMPLEMENTED);
  if (DWORD e = Fault("GetMessageA")) return Fail(-1, e);
  QueueState& s = S();
  for (;;) {
    switch (TakeNext(lpMsg, true)) {
      case Next::Message:
        return TRUE;
      case Next::Quit:
        return FALSE;
      case Next::None:
        break;
    }
    if (IdleTurn(&s.idleSteps)) continue;
    // On the platform the thread would now wait forever: end the loop instead.
    s.ranDry = true;
    s.quit = true;
    s.quitCode = 0;
  }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  if (!lpMsg) return FALSE;
  if (DWORD e = Fault("TranslateMessage")) return Fail(FALSE, e);
  return Translate(*lpMsg);
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  if (!lpMsg) return 0;
  if (DWORD e = Fault("DispatchMessageA")) return Fail<LRESULT>(0, e);
  return Dispatch(*lpMsg);
}

void WINAPI PostQuitMessage(int nExitCode) {
  if (DWORD e = Fault("PostQuitMessage")) return SetLastError(e);
  // A flag, not a queued message: it is delivered once nothing else is posted.
  S().quit = true;
  S().quitCode = nExitCode;
}

namespace winsim {

void PushIdleStep(std::function<void()> step) { S().idleSteps.push_back(std::move(step)); }

bool MessageLoopRanDry() { return S().ranDry; }

unsigned PumpMessages() {
  unsigned count = 0;
  MSG msg;
  while (TakeNext(&msg, false) == Next::Message) {
    Translate(msg);
    Dispatch(msg);
    ++count;
  }
  return count;
}

std::vector<MSG> PostedMessages() { return {S().posted.begin(), S().posted.end()}; }

}  // namespace winsim
