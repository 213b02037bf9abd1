// winsim: the subset of the Win32 API that prw3tray calls, for non-Windows hosts.
// Same names, types and observable behaviour as the SDK; implemented in winsim/src.
#pragma once

#include "winsim/wintypes.h"
#include "winsim/winbase_api.h"
#include "winsim/winreg_api.h"
#include "winsim/winuser_api.h"
#include "winsim/wingdi_api.h"
