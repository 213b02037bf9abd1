// The switch language as the tokenizer reads it: names, quoted values, declared
// lengths, and texts that end early, declare absurd lengths or fill the whole buffer.
#include "cmdline/SwitchTokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CTestTokenizer : public CSwitchTokenizer {
public:
  explicit CTestTokenizer(const std::string& text) { text.copy(m_szCommandLine, sizeof(m_szCommandLine) - 1); }
};

// Every switch the tokenizer yields, in order, as "[name|value|result]", up to the first -1.
std::string AllSwitches(const std::string& text) {
  CTestTokenizer tokenizer(text);
  std::string found;
  for (int i = 0; i < 100; ++i) {
    char szName[MAX_PATH] = "-", szValue[MAX_PATH] = "";
    const int result = tokenizer.GetSwitch(i, szName, szValue);
    if (result == -1) return found + (szName[0] || szValue[0] ? "<not emptied>" : "");
    found += "[" + std::string(szName) + "|" + szValue + "|" + std::to_string(result) + "]";
  }
  return found;
}

TEST(SwitchTokenizer, QuotedValuesFlagsAndDeclaredLengths) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"/r /I", "[r||0][I||0]"},
      // The letter after a flag must be separated: "/R/I" runs the scan over the second slash.
      {"/R/I", "[R||0]"},
      // A tab or a line end ends a name: flag lines of a file written in text mode end in CR LF.
      {"/r\t/I\r\n/E\r\n", "[r||0][I||0][E||0]"},
      {"/P \"a/b\" /O \"LPT1:\"", "[P|a/b|3][O|LPT1:|5]"},
      {"/P\"Printer 1\"\t/Q \"x\"\r\n/M \"M1\"", "[P|Printer 1|9][Q|x|1][M|M1|2]"},
      {"/P9 \"Printer 1\" /O5 \"LPT1:\" /M0 \"\" /E", "[P|Printer 1|9][O|LPT1:|5][M||0][E||0]"},
      // A declared length shorter than the value cuts it; the scan resumes inside the value.
      {"/P3 \"Printer 1\" /O \"x\"", "[P|Pri|3][O|x|1]"},
      // With a declared length the value may hold quotes and slashes.
      {"/P10 \"a \"b\" /c/d\" /O5 \"LPT1:\"", "[P|a \"b\" /c/d|10][O|LPT1:|5]"},
      // A declared length running past the end yields the switch with an empty value.
      {"/P12 \"ab", "[P||12]"},
      // A declared length without any quote after it is malformed and ends the scan.
      {"/I /P5 abcde /O xxxxxxxx", "[I||0]"},
      // An unquoted value is not a value; an unclosed one runs to the end.
      {"/P Printer /I", "[P||0][I||0]"},
      {"/P \"abc", "[P|abc|3]"},
      // Lengths that would overflow any integer run past the end, never backwards.
      {"/P99999999999999999999 \"x\" /O \"y\"", "[P||100000]"},
      {"/P2147483647 \"x\" /O \"y\"", "[P||100000]"},
      {"/I /P9999999999 /O5 \"LPT1:\"", "[I||0][P||100000]"},
      // 259 characters: a value or a name filling the whole text stays inside the buffers.
      {"/P \"" + std::string(254, 'v') + "\"", "[P|" + std::string(254, 'v') + "|254]"},
      {"/" + std::string(258, 'N'), "[" + std::string(258, 'N') + "||0]"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, AllSwitches(c.first)) << "text: " << c.first;
}

}  // namespace
