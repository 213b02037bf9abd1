// Conformance: the registry calls behave alike over winsim and under Wine: sizes and
// ERROR_MORE_DATA, the REG_SZ terminator rule, enumeration while deleting, key deletion,
// dispositions, paths and their length limits, access rights, and handles of deleted
// keys. Each test works below a scratch key of HKEY_CURRENT_USER that it creates and removes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

const char kScratch[] = "Software\\prw3test-conformance";

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

LSTATUS Query(HKEY key, const char* name, void* buf, DWORD* cb, DWORD* type = nullptr) {
  return RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(buf), cb);
}
LSTATUS EnumKey(HKEY key, DWORD index, char* name, DWORD* cch) {
  return RegEnumKeyExA(key, index, name, cch, nullptr, nullptr, nullptr, nullptr);
}

// Deletes a key with everything below it, always taking subkey 0 again.
LSTATUS DeleteTree(HKEY parent, const char* name) {
  HKEY key = nullptr;
  LSTATUS e = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key);
  char sub[260];
  for (DWORD cch = sizeof sub; !e && EnumKey(key, 0, sub, &cch) == ERROR_SUCCESS; cch = sizeof sub)
    e = DeleteTree(key, sub);
  if (key) RegCloseKey(key);
  return e ? e : RegDeleteKeyA(parent, name);
}

class RegistryConformance : public testing::Test {
protected:
  void SetUp() override {
    DeleteTree(HKEY_CURRENT_USER, kScratch);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &m_key, nullptr));
  }
  void TearDown() override {
    RegCloseKey(m_key);
    EXPECT_EQ(ERROR_SUCCESS, DeleteTree(HKEY_CURRENT_USER, kScratch));
  }
  LSTATUS Set(HKEY key, const char* name, DWORD type, const void* data, DWORD cb) {
    return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), cb);
  }
  HKEY Create(const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(m_key, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition))
        << path;
    return key;
  }

  HKEY m_key = nullptr;
};

// Sizes, ERROR_MORE_DATA and the REG_SZ terminator rule: a string whose count leaves the
// terminator out is stored with it when the source has one, else as counted; a read with
// room ends such a string with an uncounted zero. What does not fit is not written.
TEST_F(RegistryConformance, QueryValueSizesAndTerminators) {
  const char raw[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  DWORD one = 1;
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "One", REG_SZ, "1", 2));
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "Long", REG_SZ, "1234", 5));
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "Dword", REG_DWORD, &one, 4));
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "Counted", REG_SZ, "abc", 3));
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "Raw", REG_SZ, raw, 3));
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "Bin", REG_BINARY, "abc", 3));
  const std::string canary(8, '#');
  struct Case {
    const char* name;
    bool buffer;
    DWORD cbIn;
    LSTATUS status;
    DWORD cbOut;
    std::string bytes;
  } cases[] = {
      {"One", true, 4, ERROR_SUCCESS, 2, Bytes("1\0######", 8)},
      {"Long", true, 4, ERROR_MORE_DATA, 5, canary},
      {"Dword", true, 2, ERROR_MORE_DATA, 4, canary},
      {"Long", false, 0xdeadbeef, ERROR_SUCCESS, 5, canary},
      {"Counted", false, 0, ERROR_SUCCESS, 4, canary},
      {"Raw", true, 8, ERROR_SUCCESS, 3, Bytes("abc\0####", 8)},
      {"Raw", true, 3, ERROR_SUCCESS, 3, "abc#####"},
      {"Bin", false, 0, ERROR_SUCCESS, 3, canary},
      {"Missing", true, 8, ERROR_FILE_NOT_FOUND, 8, canary},
      // A size query of a missing value reports 0.
      {"Missing", false, 0xdeadbeef, ERROR_FILE_NOT_FOUND, 0, canary},
  };
  for (const Case& c : cases) {
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    DWORD cb = c.cbIn;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(c.status, Query(m_key, c.name, c.buffer ? buf : nullptr, &cb)) << c.name << " " << c.cbIn;
    EXPECT_EQ(c.cbOut, cb) << c.name << " " << c.cbIn;
    EXPECT_EQ(c.bytes, Bytes(buf, 8)) << c.name << " " << c.cbIn;
    EXPECT_EQ(0xdeadbeefu, GetLastError()) << "registry calls return their error, they do not set it";
  }
  DWORD type = 0xdeadbeef, cb = 4;
  char buf[8];
  EXPECT_EQ(ERROR_MORE_DATA, Query(m_key, "Long", buf, &cb, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, Query(m_key, "Long", buf, nullptr)) << "a buffer without a size";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(m_key, "Missing"));
}

TEST_F(RegistryConformance, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  DWORD value = 1, cb = sizeof value;
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "TrayIconEnable", REG_DWORD, &value, 4));
  value = 0;
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "TRAYICONENABLE", REG_DWORD, &value, 4));
  char name[32];
  DWORD cch = sizeof name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(m_key, 0, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &cb));
  EXPECT_STREQ("TrayIconEnable", name);
  EXPECT_EQ(0u, value);
}

TEST_F(RegistryConformance, EnumValueBufferRules) {
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "abcde", REG_SZ, "0123456789", 11));
  char name[16], data[16];
  DWORD cch = 6, cb = sizeof data, type = 0;
  // The name count is in characters without the terminator, which needs room too.
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(m_key, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(data), &cb));
  EXPECT_EQ(5u, cch);
  EXPECT_STREQ("abcde", name);
  EXPECT_EQ(11u, cb);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  for (DWORD small : {5u, 3u}) {
    cch = small;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(m_key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(small, cch) << "the count stays as it was";
  }

  // Data that does not fit: the size reported, neither name nor data written.
  std::memset(name, '#', sizeof name);
  std::memset(data, '#', sizeof data);
  cch = sizeof name;
  cb = 10;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(m_key, 0, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &cb));
  EXPECT_EQ(sizeof name, cch);
  EXPECT_EQ(11u, cb);
  EXPECT_EQ(std::string(16, '#'), Bytes(name, 16));
  EXPECT_EQ(std::string(16, '#'), Bytes(data, 16));
  cch = sizeof name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(m_key, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));

  // Windows gives creation order, Wine name order: only the set of names is fixed.
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "Zeta", REG_SZ, "", 1));
  ASSERT_EQ(ERROR_SUCCESS, Set(m_key, "Alpha", REG_SZ, "", 1));
  std::set<std::string> names;
  for (DWORD i = 0; cch = sizeof name, RegEnumValueA(m_key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == 0; ++i)
    names.insert(name);
  EXPECT_EQ((std::set<std::string>{"abcde", "Alpha", "Zeta"}), names);
}

TEST_F(RegistryConformance, EnumKeysInNameOrderAndDeleteAtIndexZero) {
  for (const char* name : {"Kb", "ka", "Kd", "Kc", "longkeyname"}) RegCloseKey(Create(name));
  char name[16];
  DWORD cch;
  std::string order;
  for (DWORD i = 0; cch = sizeof name, EnumKey(m_key, i, name, &cch) == ERROR_SUCCESS; ++i) order += name + std::string(" ");
  EXPECT_EQ("ka Kb Kc Kd longkeyname ", order);

  // An 11-character name needs 12 characters of buffer; short of that nothing is written.
  std::memset(name, '#', sizeof name);
  cch = 11;
  EXPECT_EQ(ERROR_MORE_DATA, EnumKey(m_key, 4, name, &cch));
  EXPECT_EQ(11u, cch);
  EXPECT_EQ(std::string(16, '#'), Bytes(name, 16));

  // Deleting while the index grows skips every second key; index 0 each time takes all.
  int deleted = 0;
  for (DWORD i = 0; cch = sizeof name, EnumKey(m_key, i, name, &cch) == ERROR_SUCCESS; ++i)
    deleted += RegDeleteKeyA(m_key, name) == ERROR_SUCCESS;
  EXPECT_EQ(3, deleted);
  while (cch = sizeof name, EnumKey(m_key, 0, name, &cch) == ERROR_SUCCESS) {
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_key, name)) << name;
    ++deleted;
  }
  EXPECT_EQ(5, deleted);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, EnumKey(m_key, 0, name, &cch));
}

TEST_F(RegistryConformance, DeleteKeyNeedsItFreeOfSubkeys) {
  RegCloseKey(Create("Parent\\Child"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(m_key, "Parent"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_key, "PARENT\\child"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_key, "Parent"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(m_key, "Parent"));
}

TEST_F(RegistryConformance, DispositionsAndMissingKeys) {
  DWORD disposition = 0;
  RegCloseKey(Create("a\\b\\c", &disposition));  // with the keys between
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  RegCloseKey(Create("A\\B\\C", &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  HKEY key = reinterpret_cast<HKEY>(0x1234);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(m_key, "a\\missing", 0, KEY_READ, &key));
  EXPECT_EQ(nullptr, key);
}

TEST_F(RegistryConformance, LongKeyNamesAndPaths) {
  const std::string name255(255, 'k');
  const std::string name257(257, 'k');
  HKEY key = nullptr;
  // A path of 260 characters with a name of 255 works throughout.
  const std::string path260 = "abcd\\" + name255;
  ASSERT_EQ(260u, path260.size());
  RegCloseKey(Create(path260.c_str()));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(m_key, path260.c_str(), 0, KEY_READ, &key));
  RegCloseKey(key);
  char found[300];
  DWORD cch = sizeof found;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(m_key, "abcd", 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_SUCCESS, EnumKey(key, 0, found, &cch));
  EXPECT_EQ(255u, cch);
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_key, path260.c_str()));

  // A longer name is refused by every call that takes a path...
  key = reinterpret_cast<HKEY>(0x1234);
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegCreateKeyExA(m_key, name257.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(nullptr, key);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(m_key, name257.c_str(), 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(m_key, name257.c_str()));
  // ...and so is a path of more than 260 characters, however short its names.
  const std::string path261 = "abcde\\" + name255;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegCreateKeyExA(m_key, path261.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_MORE_DATA, RegOpenKeyExA(m_key, path261.c_str(), 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_MORE_DATA, RegDeleteKeyA(m_key, path261.c_str()));
  std::string nested;
  while (nested.size() <= 260) nested += "abcdefghi\\";
  EXPECT_EQ(ERROR_MORE_DATA,
            RegCreateKeyExA(m_key, nested.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
}

TEST_F(RegistryConformance, AccessRightsOfHandles) {
  DWORD value = 7, cb = 4;
  HKEY acc = Create("Acc");
  ASSERT_EQ(ERROR_SUCCESS, Set(acc, "v", REG_DWORD, &value, 4));
  RegCloseKey(acc);
  HKEY reader = nullptr, setter = nullptr, querier = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(m_key, "Acc", 0, KEY_READ, &reader));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(m_key, "Acc", 0, KEY_SET_VALUE, &setter));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(m_key, "Acc", 0, KEY_QUERY_VALUE, &querier));

  EXPECT_EQ(ERROR_SUCCESS, Query(reader, "v", &value, &cb));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Set(reader, "v", REG_DWORD, &value, 4));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(reader, "v"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Query(setter, "v", &value, &cb));
  char name[16];
  DWORD cch = sizeof name;
  EXPECT_EQ(ERROR_ACCESS_DENIED, EnumKey(querier, 0, name, &cch));
  for (HKEY h : {reader, setter, querier}) RegCloseKey(h);
}

TEST_F(RegistryConformance, HandleOfADeletedKey) {
  HKEY gone = Create("Gone");
  DWORD value = 1, cb = 4;
  ASSERT_EQ(ERROR_SUCCESS, Set(gone, "v", REG_DWORD, &value, 4));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_key, "Gone"));

  EXPECT_EQ(ERROR_KEY_DELETED, Query(gone, "v", &value, &cb));
  EXPECT_EQ(ERROR_KEY_DELETED, Set(gone, "v", REG_DWORD, &value, 4));
  HKEY sub = nullptr;
  EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(gone, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(gone));

  // A key made again under that name is new and empty.
  DWORD disposition = 0;
  gone = Create("Gone", &disposition);
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(gone, "v", nullptr, &cb));
  RegCloseKey(gone);
}

}  // namespace
