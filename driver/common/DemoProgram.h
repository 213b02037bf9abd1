// What the demo driver's programs share: the record line each start appends for tests
// (to the file named by PRW3_RECORD_FILE) and the small window that shows what a
// program was given (closed after PRW3_STATUS_TIMEOUT_MS milliseconds when that is set).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

typedef std::vector<std::pair<std::string, std::string>> RecordFields;

// Appends one line "key=value<TAB>key=value..." to the record file, if one is named;
// tabs and line ends inside values become blanks. "program", "module" (the running
// file) and "cmdline" (the raw command line) come first, then the given fields.
void AppendRecord(const char* pszProgram, const RecordFields& fields);

// Shows a window with the title and the lines of text (a tab starts a line's second
// column) and runs its message loop until it is closed or the timeout has passed.
// Returns the exit code.
int RunInfoWindow(HINSTANCE hInstance, const std::string& title, const std::string& text);
