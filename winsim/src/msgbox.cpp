// winsim message boxes: each box is recorded, shows as a "#32770" window owned by its
// owner, and runs a modal loop that keeps dispatching posted and timer messages until a
// test's script (or a WM_COMMAND posted to the box, as on the platform) closes it.
#include "core.h"
#include "message_queue.h"
#include "window_store.h"

#include "winsim/control.h"

#include <deque>

using namespace winsim::detail;

namespace {

struct BoxScript {
  int result;
  Steps steps;
};

struct BoxState {
  std::vector<winsim::MessageBoxRecord> records;
  std::deque<BoxScript> scripts;
};

BoxState& S() {
  static BoxState s;
  return s;
}

const ResetHook g_reset([] { S() = BoxState{}; });

// A box with only an OK button answers IDOK to whatever closes it.
int Answer(int id, UINT uType) { return (uType & MB_TYPEMASK) == MB_OK ? IDOK : id; }

// Returns the box's answer, or 0 when the box was taken down (its owner destroyed, or the
// thread told to quit; the quit stays for the outer loop).
int RunModalLoop(HWND hBox, UINT uType, BoxScript* script) {
  for (;;) {
    if (!LiveWindow(hBox)) return 0;
    MSG msg;
    Next next = TakeNext(&msg, false);
    if (next == Next::Quit) return 0;
    if (next == Next::Message) {
      if (msg.hwnd == hBox && msg.message == WM_COMMAND) return Answer(LOWORD(msg.wParam), uType);
      if (msg.hwnd == hBox && msg.message == WM_CLOSE) return Answer(IDCANCEL, uType);
      Translate(msg);
      Dispatch(msg);
      continue;
    }
    if (script) {
      if (script->steps.empty()) return script->result;
      IdleTurn(&script->steps);
      continue;
    }
    // Nobody answers: time passes (within the idle budget), then the user presses OK.
    if (IdleTurn(nullptr)) continue;
    return IDOK;
  }
}

}  // namespace

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  if (hWnd && !LiveWindow(hWnd)) return Fail(0, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("MessageBoxA")) return Fail(0, e);
  BoxState& s = S();
  size_t index = s.records.size();
  const char* caption = lpCaption ? lpCaption : "Error";
  s.records.push_back(winsim::MessageBoxRecord{hWnd, lpText ? lpText : "", caption, uType, 0});

  bool scripted = !s.scripts.empty();
  BoxScript script;
  if (scripted) {
    script = std::move(s.scripts.front());
    s.scripts.pop_front();
  }
  HWND hBox = CreateSystemWindow("#32770", caption, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU, hWnd);
  int result = RunModalLoop(hBox, uType, scripted ? &script : nullptr);
  DestroySystemWindow(hBox);
  S().records[index].result = result;
  return result;
}

namespace winsim {

void ScriptMessageBox(int result, std::vector<std::function<void()>> whileOpen) {
  S().scripts.push_back(BoxScript{result, Steps(whileOpen.begin(), whileOpen.end())});
}

std::vector<MessageBoxRecord> MessageBoxes() { return S().records; }

}  // namespace winsim
