// Finds the switches of the command-line language in a text: "/NAME", an optional
// declared length, and a value in double quotes.
#pragma once

#include <windows.h>

class CSwitchTokenizer {
public:
  CSwitchTokenizer();
  virtual ~CSwitchTokenizer();

  // Finds switch number nIndex (0-based, in text order). Writes its name to pszName and,
  // when a value is found, the value to pszValue (each buffer holds MAX_PATH characters;
  // nothing longer can come out of the text). Returns the value's length as counted or
  // declared (0 for a switch without a value), or -1 when there is no such switch or its
  // value is malformed; then both buffers are set to "".
  int GetSwitch(int nIndex, char* pszName, char* pszValue);

protected:
  char m_szCommandLine[MAX_PATH];
};
