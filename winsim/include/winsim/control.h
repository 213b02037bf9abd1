// winsim test controls: reset, fault injection, clock, language, and (in the headers
// included below) seeding and reading back each area. Only tests include this.
#pragma once

#include <windows.h>

#include <string>

#include "winsim/control_files.h"
#include "winsim/control_modules.h"
#include "winsim/control_registry.h"
#include "winsim/control_spooler.h"

namespace winsim {

// Returns every area to its initial state (empty hives, no printers, empty sandbox, ...).
void Reset();

// Makes the named API fail with `error` as its last error: on every call when nth is 0,
// else only on the nth call counted from now. Several injections for one API combine.
void InjectFault(const std::string& api, DWORD error, unsigned nth = 0);
void ClearFaults();
// Calls of the named API since the last Reset.
unsigned CallCount(const std::string& api);

// Kernel handles open now (mappings, processes, threads, find handles, ...).
size_t KernelHandleCount();

void SetTickCount(DWORD tick);
void SetUserLangID(LANGID lang);
// The system's ANSI code page: 1252 by default, or 932 (double-byte) for the conversions
// and lead-byte tests that depend on it.
void SetAnsiCodePage(UINT codePage);
// VER_PLATFORM_WIN32_NT by default; VER_PLATFORM_WIN32_WINDOWS simulates the 9x family.
void SetPlatformId(DWORD platformId);

}  // namespace winsim

#include "winsim/control_gdi.h"
#include "winsim/control_mapping.h"
#include "winsim/control_menus.h"
#include "winsim/control_resources.h"
#include "winsim/control_tray.h"
#include "winsim/control_ui.h"
#include "winsim/control_process.h"
#include "winsim/control_sync.h"
#include "winsim/control_user.h"
