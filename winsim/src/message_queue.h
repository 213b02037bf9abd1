// winsim internals of the thread's message queue, shared by GetMessageA and the modal
// loops of MessageBoxA and TrackPopupMenu: retrieval in the platform's order, and the
// idle turn a loop takes when nothing is pending.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>

namespace winsim::detail {

using Steps = std::deque<std::function<void()>>;

enum class Next { Message, Quit, None };

// PostMessageA's work for a live window, a null one (the thread) or HWND_BROADCAST,
// without the public call's checks, fault injection and call count.
void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// RegisterWindowMessageA's work, likewise.
UINT RegisteredMessage(LPCSTR name);
// TranslateMessage's and DispatchMessageA's work, likewise, for the modal loops.
BOOL Translate(const MSG& msg);
LRESULT Dispatch(const MSG& msg);

// The next message a loop retrieves without waiting, in the platform's order: a posted
// message, then the quit (taken off only when takeQuit; modal loops leave it for the
// outer loop), then a due timer's WM_TIMER.
Next TakeNext(MSG* msg, bool takeQuit);

// A loop found nothing pending: runs the next of `steps` (null for none), else moves the
// simulated clock on to the next timer if the idle budget allows. False when it did
// neither: nothing more will happen unless the loop acts.
bool IdleTurn(Steps* steps);

// Timers (timers.cpp): the due timer that comes first, as its WM_TIMER, rescheduled.
bool TakeDueTimer(MSG* msg);
// When the next timer falls due; false when there is no timer.
bool NextTimerDue(uint64_t* due);
// Whether a live timer calls this procedure (what a WM_TIMER's lParam may name).
bool IsTimerProc(LPARAM proc);

}  // namespace winsim::detail
