// winsim: the sharing-mode CRT open the program uses for its log and parameter files.
// Text mode stores a line feed as carriage return plus line feed, as the Windows CRT does.
#pragma once

#include <cstdio>

#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40

FILE* _fsopen(const char* filename, const char* mode, int shflag);
