// The switch language as the tokenizer reads it: names, quoted values, declared
// lengths, and texts that end early or declare absurd lengths.
#include "cmdline/SwitchTokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class CTestTokenizer : public CSwitchTokenizer {
public:
  explicit CTestTokenizer(const std::string& text) { text.copy(m_szCommandLine, sizeof(m_szCommandLine) - 1); }
};

struct Found {
  std::string name;
  std::string value;
  int result;
};

// Every switch the tokenizer yields, in order, up to the first -1.
std::vector<Found> AllSwitches(const std::string& text) {
  CTestTokenizer tokenizer(text);
  std::vector<Found> found;
  for (int i = 0; i < 100; ++i) {
    char szName[MAX_PATH] = {0};
    char szValue[MAX_PATH] = {0};
    int result = tokenizer.GetSwitch(i, szName, szValue);
    if (result == -1) {
      EXPECT_STREQ("", szName);
      EXPECT_STREQ("", szValue);
      break;
    }
    found.push_back({szName, szValue, result});
  }
  return found;
}

std::string Describe(const std::vector<Found>& found) {
  std::string s;
  for (const Found& f : found) s += "[" + f.name + "|" + f.value + "|" + std::to_string(f.result) + "]";
  return s;
}

struct Case {
  const char* text;
  const char* expected;
};

TEST(SwitchTokenizer, QuotedValuesFlagsAndDeclaredLengths) {
  const Case cases[] = {
      {"", ""},
      {"/i", "[i||0]"},
      {"/r /I", "[r||0][I||0]"},
      // The letter after a flag must be separated: "/R/I" runs the scan over the second slash.
      {"/R/I", "[R||0]"},
      {"/P \"a/b\" /O \"LPT1:\"", "[P|a/b|3][O|LPT1:|5]"},
      {"/P\"Printer 1\"", "[P|Printer 1|9]"},
      {"/Q \"x\" /M \"M1\"", "[Q|x|1][M|M1|2]"},
      {"/P9 \"Printer 1\" /O5 \"LPT1:\" /M6 \"Model1\"", "[P|Printer 1|9][O|LPT1:|5][M|Model1|6]"},
      // A declared length shorter than the value cuts it; the scan resumes inside the value.
      {"/P3 \"Printer 1\" /O \"x\"", "[P|Pri|3][O|x|1]"},
      // With a declared length the value may hold quotes and slashes.
      {"/P10 \"a \"b\" /c/d\" /O5 \"LPT1:\"", "[P|a \"b\" /c/d|10][O|LPT1:|5]"},
      // The form the resident builds for the status program, with an empty last argument.
      {"/P14 \"Office Printer\" /O5 \"LPT1:\" /M4 \"M100\" /E", "[P|Office Printer|14][O|LPT1:|5][M|M100|4][E||0]"},
      {"/P0 \"\" /O5 \"LPT1:\" /M2 \"M1\" ", "[P||0][O|LPT1:|5][M|M1|2]"},
      // A declared length running past the end yields the switch with an empty value.
      {"/P12 \"ab", "[P||12]"},
      // A declared length without any quote after it is malformed and ends the scan.
      {"/I /P5 abcde /O xxxxxxxx", "[I||0]"},
      // An unquoted value is not a value.
      {"/P Printer /I", "[P||0][I||0]"},
      {"/P \"abc", "[P|abc|3]"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, Describe(AllSwitches(c.text))) << "text: " << c.text;
}

TEST(SwitchTokenizer, HugeDeclaredLengthsNeitherOverflowNorJumpBackwards) {
  // Twenty digits would overflow any integer; the scan must simply run past the end.
  EXPECT_EQ("[P||100000]", Describe(AllSwitches("/P99999999999999999999 \"x\" /O \"y\"")));
  EXPECT_EQ("[P||100000]", Describe(AllSwitches("/P2147483647 \"x\" /O \"y\"")));
  EXPECT_EQ("[P||100000]", Describe(AllSwitches("/P4294967296 \"x\" /O \"y\"")));
  EXPECT_EQ("[I||0][P||100000]", Describe(AllSwitches("/I /P9999999999 /O5 \"LPT1:\"")));
}

TEST(SwitchTokenizer, LongestTextsStayInsideTheirBuffers) {
  // 259 characters: a value filling the whole text is still bounded by the buffers.
  std::string value(254, 'v');
  std::string text = "/P \"" + value + "\"";
  ASSERT_EQ(259u, text.size());
  auto found = AllSwitches(text);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(value, found[0].value);

  // A name as long as the text.
  std::string name(258, 'N');
  found = AllSwitches("/" + name);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(name, found[0].name);
}

}  // namespace
