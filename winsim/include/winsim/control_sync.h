// winsim test controls for mutexes: another process that holds one, and how often this
// process owns one now. Only tests include this (through winsim/control.h).
#pragma once

#include <string>

namespace winsim {

// Who else holds the named mutex (set before or after it is created): nobody; a process
// that hangs while holding it (every wait times out, after the wait's time); or one that
// ended while holding it (the next wait gets it, abandoned).
enum class MutexHolder { kNone, kHung, kEnded };
void HoldMutexElsewhere(const std::string& name, MutexHolder holder);

// How many times this process owns the named mutex now (0 when it does not, or when no
// mutex has that name).
unsigned MutexOwnership(const std::string& name);

}  // namespace winsim
