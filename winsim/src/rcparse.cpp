// winsim .rc reader: the subset of the resource-script language the program's resource
// libraries use, read the way windres reads it, into a module's resources. Icon and
// bitmap files are read only for their sizes.
#include "winsim/control.h"

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

namespace winsim {
namespace {

struct Token {
  enum class Kind { Word, Number, String, Punct, End } kind;
  std::string text;  // the word, the punctuation mark, or the string's value
  unsigned long number;
  int line;
};

class CParser {
 public:
  CParser(const std::string& text, const std::string& baseDir) : m_text(text), m_baseDir(baseDir) {}

  bool Parse(ModuleResources* out, std::string* error) {
    try {
      while (Peek().kind != Token::Kind::End) Statement(out);
      return true;
    } catch (const std::string& message) {
      if (error) *error = message;
      return false;
    }
  }

 private:
  [[noreturn]] void Error(const std::string& message, int line) {
    throw "line " + std::to_string(line) + ": " + message;
  }

  // Lexing.
  void SkipSpaceAndComments() {
    for (;;) {
      while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) {
        if (m_text[m_pos] == '\n') ++m_line;
        ++m_pos;
      }
      if (m_text.compare(m_pos, 2, "//") == 0) {
        while (m_pos < m_text.size() && m_text[m_pos] != '\n') ++m_pos;
      } else if (m_text.compare(m_pos, 2, "/*") == 0) {
        size_t end = m_text.find("*/", m_pos + 2);
        if (end == std::string::npos) Error("unterminated comment", m_line);
        for (size_t i = m_pos; i < end; ++i) m_line += m_text[i] == '\n';
        m_pos = end + 2;
      } else if (m_pos < m_text.size() && m_text[m_pos] == '#' && AtLineStart()) {
        Directive();
      } else {
        return;
      }
    }
  }

  bool AtLineStart() const {
    for (size_t i = m_pos; i > 0; --i) {
      char c = m_text[i - 1];
      if (c == '\n') return true;
      if (c != ' ' && c != '\t') return false;
    }
    return true;
  }

  // #define NAME number gives a name to an id; a header included with quotes is read
  // for its defines; system headers and #pragma are skipped.
  void Directive() {
    size_t end = m_text.find('\n', m_pos);
    std::string line = m_text.substr(m_pos, end == std::string::npos ? std::string::npos : end - m_pos);
    m_pos = end == std::string::npos ? m_text.size() : end;
    std::istringstream in(line);
    std::string directive, name, value;
    in >> directive >> name >> value;
    if (directive == "#pragma") return;
    if (directive == "#include") return Include(name, 0);
    if (directive != "#define") Error("unsupported directive " + directive, m_line);
    if (value.empty()) return;  // a flag-only define names no id
    m_defines[name] = ParseNumber(value, m_line);
  }

  // Takes the numeric defines of a header; its guards and anything else are passed over.
  void Include(const std::string& quoted, int depth) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return;
    if (depth > 8) Error("headers include each other: " + quoted, m_line);
    std::string path = m_baseDir.empty() ? quoted.substr(1, quoted.size() - 2)
                                         : m_baseDir + "/" + quoted.substr(1, quoted.size() - 2);
    std::ifstream header(path);
    if (!header) Error("cannot open " + path, m_line);
    std::string line;
    while (std::getline(header, line)) {
      std::istringstream in(line);
      std::string directive, name, value;
      in >> directive >> name >> value;
      if (directive == "#include") {
        Include(name, depth + 1);
      } else if (directive == "#define" && !value.empty()) {
        try {
          m_defines[name] = std::stoul(value, nullptr, 0);
        } catch (const std::exception&) {
        }
      }
    }
  }

  unsigned long ParseNumber(const std::string& text, int line) {
    std::string digits = text;
    while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' || digits.back() == 'U' ||
                               digits.back() == 'u'))
      digits.pop_back();
    try {
      size_t used = 0;
      unsigned long value = std::stoul(digits, &used, 0);
      if (used == digits.size()) return value;
    } catch (const std::exception&) {
    }
    Error("not a number: " + text, line);
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  char Escape() {
    if (m_pos >= m_text.size()) Error("unterminated string", m_line);
    char c = m_text[m_pos++];
    switch (c) {
      case 'n': return '\n';
      case 't': return '\t';
      case 'r': return '\r';
      case 'a': return '\a';
      case 'b': return '\b';
      case 'f': return '\f';
      case 'v': return '\v';
      case 'x': {
        int value = 0;
        for (int i = 0; i < 2 && m_pos < m_text.size() && HexDigit(m_text[m_pos]) >= 0; ++i)
          value = value * 16 + HexDigit(m_text[m_pos++]);
        return static_cast<char>(value);
      }
      default:
        if (c >= '0' && c <= '7') {
          unsigned value = static_cast<unsigned>(c - '0');
          for (int i = 0; i < 2 && m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '7'; ++i)
            value = value * 8 + static_cast<unsigned>(m_text[m_pos++] - '0');
          return static_cast<char>(value);
        }
        return c;  // \\, \", \' and any other character stand for themselves
    }
  }

  Token Lex() {
    SkipSpaceAndComments();
    Token token{Token::Kind::End, "", 0, m_line};
    if (m_pos >= m_text.size()) return token;
    char c = m_text[m_pos];
    if (c == 'L' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '"') c = m_text[++m_pos];
    if (c == '"') {
      // "" inside a string is one double quote.
      token.kind = Token::Kind::String;
      ++m_pos;
      for (;;) {
        if (m_pos >= m_text.size() || m_text[m_pos] == '\n') Error("unterminated string", token.line);
        char ch = m_text[m_pos++];
        if (ch == '"') {
          if (m_pos < m_text.size() && m_text[m_pos] == '"') {
            token.text += '"';
            ++m_pos;
            continue;
          }
          return token;
        }
        token.text += ch == '\\' ? Escape() : ch;
      }
    }
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      size_t start = m_pos;
      while (m_pos < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
        ++m_pos;
      token.text = m_text.substr(start, m_pos - start);
      if (std::isdigit(static_cast<unsigned char>(c))) {
        token.kind = Token::Kind::Number;
        token.number = ParseNumber(token.text, token.line);
      } else {
        token.kind = Token::Kind::Word;
      }
      return token;
    }
    token.kind = Token::Kind::Punct;
    token.text = std::string(1, c);
    ++m_pos;
    return token;
  }

  const Token& Peek() {
    if (!m_peeked) {
      m_next = Lex();
      m_peeked = true;
    }
    return m_next;
  }
  Token Take() {
    Peek();
    m_peeked = false;
    return m_next;
  }
  // Takes the next token if it is that word or punctuation mark.
  bool TakeIf(const char* text) {
    if (!IsMark(Peek(), text)) return false;
    Take();
    return true;
  }

  // Grammar.
  WORD Id() {
    Token token = Take();
    unsigned long value = 0;
    if (token.kind == Token::Kind::Number) {
      value = token.number;
    } else if (token.kind == Token::Kind::Word && m_defines.count(token.text)) {
      value = m_defines[token.text];
    } else {
      Error("expected a numeric id, got '" + token.text + "'", token.line);
    }
    if (value > 0xFFFF) Error("id out of range: " + token.text, token.line);
    return static_cast<WORD>(value);
  }

  std::string String() {
    Token token = Take();
    if (token.kind != Token::Kind::String) Error("expected a string, got '" + token.text + "'", token.line);
    return token.text;
  }

  static bool IsMark(const Token& t, const char* text) {
    return (t.kind == Token::Kind::Word || t.kind == Token::Kind::Punct) && t.text == text;
  }
  static bool IsBegin(const Token& t) { return IsMark(t, "BEGIN") || IsMark(t, "{"); }
  static bool IsEnd(const Token& t) { return IsMark(t, "END") || IsMark(t, "}"); }

  void Begin() {
    Token token = Take();
    if (!IsBegin(token)) Error("expected BEGIN, got '" + token.text + "'", token.line);
  }

  // Memory and load options some scripts still carry; they change nothing.
  void SkipMemoryOptions() {
    static const char* const options[] = {"PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE",
                                          "DISCARDABLE", "PURE", "IMPURE", "SHARED", "NONSHARED"};
    for (bool again = true; again;) {
      again = false;
      for (const char* option : options) again = again || TakeIf(option);
    }
  }

  SIZE ReadFileSize(const std::string& name, bool icon, std::vector<SIZE>* images, int line) {
    std::string path = m_baseDir.empty() ? name : m_baseDir + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) Error("cannot open " + path, line);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(data[at])) |
                                       static_cast<unsigned>(static_cast<unsigned char>(data[at + 1])) << 8; };
    auto i32 = [&](size_t at) { return static_cast<int32_t>(u16(at) | u16(at + 2) << 16); };
    if (icon) {
      // ICONDIR: reserved, type 1, count; then 16-byte entries led by width and height.
      if (data.size() < 6 || u16(0) != 0 || u16(2) != 1) Error(path + " is not an icon file", line);
      unsigned count = u16(4);
      if (count == 0 || data.size() < 6 + 16 * count) Error(path + " is not an icon file", line);
      for (unsigned i = 0; i < count; ++i) {
        int w = static_cast<unsigned char>(data[6 + 16 * i]);
        int h = static_cast<unsigned char>(data[7 + 16 * i]);
        images->push_back(SIZE{w ? w : 256, h ? h : 256});
      }
      return images->front();
    }
    // BITMAPFILEHEADER, then a BITMAPINFOHEADER (or the old BITMAPCOREHEADER).
    if (data.size() < 26 || data[0] != 'B' || data[1] != 'M') Error(path + " is not a bitmap file", line);
    if (i32(14) == 12) return SIZE{static_cast<LONG>(u16(18)), static_cast<LONG>(u16(20))};
    if (data.size() < 30) Error(path + " is not a bitmap file", line);
    int32_t height = i32(22);
    return SIZE{i32(18), height < 0 ? -height : height};
  }

  UINT MenuFlags() {
    static const std::map<std::string, UINT> flags = {
        {"GRAYED", MF_GRAYED},         {"INACTIVE", MF_DISABLED},         {"CHECKED", MF_CHECKED},
        {"MENUBREAK", MF_MENUBREAK}, {"MENUBARBREAK", MF_MENUBARBREAK}, {"HELP", MF_HELP}};
    UINT result = 0;
    for (;;) {
      TakeIf(",");
      auto it = Peek().kind == Token::Kind::Word ? flags.find(Peek().text) : flags.end();
      if (it == flags.end()) return result;
      result |= it->second;
      Take();
    }
  }

  std::vector<MenuTemplateItem> MenuBody() {
    Begin();
    std::vector<MenuTemplateItem> items;
    for (;;) {
      Token token = Take();
      if (IsEnd(token)) return items;
      MenuTemplateItem item{"", 0, 0, {}};
      if (IsMark(token, "MENUITEM")) {
        if (TakeIf("SEPARATOR")) {
          items.push_back(item);
          continue;
        }
        item.text = String();
        TakeIf(",");
        item.id = Id();
        item.flags = MenuFlags();
      } else if (IsMark(token, "POPUP")) {
        item.text = String();
        item.flags = MF_POPUP | MenuFlags();
        item.items = MenuBody();
      } else {
        Error("unexpected '" + token.text + "' in a menu", token.line);
      }
      items.push_back(item);
    }
  }

  void StringTable(ModuleResources* out) {
    SkipMemoryOptions();
    Begin();
    for (;;) {
      if (IsEnd(Peek())) {
        Take();
        return;
      }
      WORD id = Id();
      TakeIf(",");
      out->strings[id] = String();
    }
  }

  void Statement(ModuleResources* out) {
    if (TakeIf("STRINGTABLE")) return StringTable(out);
    if (IsMark(Peek(), "LANGUAGE")) {
      Take();
      Take();
      TakeIf(",");
      Take();
      return;
    }
    WORD id = Id();
    Token type = Take();
    SkipMemoryOptions();
    if (IsMark(type, "ICON")) {
      std::vector<SIZE> images;
      ReadFileSize(String(), true, &images, type.line);
      out->icons[id] = images;
    } else if (IsMark(type, "BITMAP")) {
      out->bitmaps[id] = ReadFileSize(String(), false, nullptr, type.line);
    } else if (IsMark(type, "MENU")) {
      out->menus[id] = MenuBody();
    } else {
      Error("unsupported resource type '" + type.text + "'", type.line);
    }
  }

  const std::string& m_text;
  std::string m_baseDir;
  size_t m_pos = 0;
  int m_line = 1;
  bool m_peeked = false;
  Token m_next{Token::Kind::End, "", 0, 0};
  std::map<std::string, unsigned long> m_defines;
};

}  // namespace

std::shared_ptr<ModuleResources> ParseRc(const std::string& text, const std::string& baseDir, std::string* error) {
  auto resources = std::make_shared<ModuleResources>();
  CParser parser(text, baseDir);
  return parser.Parse(resources.get(), error) ? resources : nullptr;
}

std::shared_ptr<ModuleResources> ParseRcFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return nullptr;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t slash = path.find_last_of('/');
  return ParseRc(text, slash == std::string::npos ? "" : path.substr(0, slash), error);
}

}  // namespace winsim
