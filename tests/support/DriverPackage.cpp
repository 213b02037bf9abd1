// Installing the demo driver for tests, the part both platforms share: reading the
// build's generated package, binding the installation names, applying the registry text
// through the registry calls, writing the INI and parameter files, and undoing it all.
#include "support/DriverPackage.h"

#include "base/Scoped.h"
#include "support/DriverPackagePlatform.h"
#include "support/TestEnv.h"
#include "support/TestRegistry.h"

#include <gtest/gtest.h>
#include <share.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace testenv {
namespace {

const char kPackageEnv[] = "package.env";
const char kEnvPrefix[] = "PRW3_DEMO_";
const char kTemplateDir[] = "template/";
const char kRegTemplate[] = "prw3demo.reg";
const char kUninstallTemplate[] = "prw3demo-uninstall.reg";
const char kParamTemplate[] = "param.tmp";
const char kParamPrefix[] = "O_P";
const char kRunKey[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Installation {
  DemoDriver driver;
  InstallNames names;
  std::vector<std::string> createdKeys;
  std::vector<std::string> createdFolders;
  std::vector<std::string> files;
};

std::vector<Installation>& Installations() {
  static std::vector<Installation> installations;
  return installations;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
}

std::string RegEscape(std::string value) {
  ReplaceAll(value, "\\", "\\\\");
  ReplaceAll(value, "\"", "\\\"");
  return value;
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

const std::map<std::string, std::string>& PackageParams() {
  static const std::map<std::string, std::string> params = [] {
    std::map<std::string, std::string> result;
    std::istringstream in(ReadDemoPackageFile(kPackageEnv));
    for (std::string line; std::getline(in, line);) {
      size_t eq = line.find('=');
      if (line.compare(0, sizeof(kEnvPrefix) - 1, kEnvPrefix) != 0 || eq == std::string::npos) continue;
      std::string value = line.substr(eq + 1);
      if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') value = value.substr(1, value.size() - 2);
      result[line.substr(sizeof(kEnvPrefix) - 1, eq - (sizeof(kEnvPrefix) - 1))] = value;
    }
    return result;
  }();
  return params;
}

bool WriteWinFile(const std::string& path, const std::string& bytes) {
  FILE* f = _fsopen(path.c_str(), "wb", _SH_DENYNO);
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

// Makes the folder and the missing ones above it, noting those it made.
bool MakeFolders(const std::string& folder, std::vector<std::string>* created) {
  for (size_t pos = folder.find('\\', 3);; pos = folder.find('\\', pos + 1)) {
    std::string part = folder.substr(0, pos);
    if (CreateDirectoryA(part.c_str(), nullptr))
      created->push_back(part);
    else if (GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
    if (pos == std::string::npos) return true;
  }
}

HKEY RootKey(const std::string& name) {
  if (name == "HKEY_LOCAL_MACHINE" || name == "HKLM") return HKEY_LOCAL_MACHINE;
  if (name == "HKEY_CURRENT_USER" || name == "HKCU") return HKEY_CURRENT_USER;
  return nullptr;
}

bool KeyIsEmpty(HKEY root, const std::string& path) {
  CRegKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
  char name[MAX_PATH];
  DWORD cch = sizeof(name);
  if (RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS) return false;
  cch = sizeof(name);
  return RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS;
}

// A double-quoted .reg string starting at text[pos]; pos ends after the closing quote.
bool ParseQuoted(const std::string& text, size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  out.clear();
  for (++pos; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\' && pos + 1 < text.size()) c = text[++pos];
    out += c;
  }
  return false;
}

}  // namespace

std::string DemoPackageDir() {
  const char* bin = std::getenv("PRW3_BIN_DIR");
  if (!bin || !*bin) {
    ADD_FAILURE() << "PRW3_BIN_DIR names no build folder";
    return "";
  }
  return std::string(bin) + "/driver/package";
}

std::string ReadDemoPackageFile(const std::string& relativePath) {
  std::string path = DemoPackageDir() + "/" + relativePath;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return "";
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string DemoPackageParam(const std::string& name) {
  auto it = PackageParams().find(name);
  if (it == PackageParams().end()) {
    ADD_FAILURE() << "package.env has no " << name;
    return "";
  }
  return it->second;
}

std::string BindInstallNames(const std::string& text, bool reg, const InstallNames& names) {
  std::string printerKey = names.printerName.empty() ? names.portName : names.printerName;
  const std::pair<const char*, const std::string*> values[] = {
      {"DRIVER_NAME", &names.driverName},     {"PRINTER_NAME", &names.printerName},
      {"PORT_NAME", &names.portName},         {"RESIDENT_PATH", &names.residentPath},
      {"PARAM_FILE", &names.paramFile},       {"PRINTER_KEY", &printerKey},
  };
  std::string bound = text;
  for (const auto& value : values)
    ReplaceAll(bound, std::string("@") + value.first + "@", reg ? RegEscape(*value.second) : *value.second);
  return bound;
}

bool ApplyRegText(const std::string& text, std::vector<std::string>* createdKeys, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& reason) {
    if (error) *error = "line " + std::to_string(number) + ": " + reason;
    return false;
  };
  CRegKey key;
  bool headerSeen = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (!headerSeen) {
      if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") return fail("no REGEDIT4 header");
      headerSeen = true;
      continue;
    }

    if (line[0] == '[') {
      key.Close();
      if (line.back() != ']') return fail("unclosed key name");
      bool remove = line[1] == '-';
      std::string full = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
      size_t slash = full.find('\\');
      HKEY root = RootKey(full.substr(0, slash));
      if (!root || slash == std::string::npos) return fail("unknown root in " + full);
      std::string path = full.substr(slash + 1);
      if (remove) {
        DeleteRegTree(root, path);
        continue;
      }
      if (createdKeys) {
        const char* rootName = root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\";
        for (size_t pos = path.find('\\');; pos = path.find('\\', pos + 1)) {
          std::string part = path.substr(0, pos);
          if (!RegKeyExists(root, part)) createdKeys->push_back(rootName + part);
          if (pos == std::string::npos) break;
        }
      }
      if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS)
        return fail("cannot create " + full);
      continue;
    }

    if (!key) return fail("value outside a key");
    size_t pos = 0;
    std::string name;
    if (line[0] == '@')
      pos = 1;
    else if (!ParseQuoted(line, pos, name))
      return fail("bad value name");
    if (pos >= line.size() || line[pos] != '=') return fail("no '=' after the value name");
    std::string data = line.substr(pos + 1);
    LONG result;
    if (data == "-") {
      result = RegDeleteValueA(key, name.c_str());
      if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    } else if (data.compare(0, 6, "dword:") == 0 && data.size() == 14) {
      DWORD value = std::strtoul(data.c_str() + 6, nullptr, 16);
      result = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    } else {
      std::string value;
      size_t dataPos = 0;
      if (!ParseQuoted(data, dataPos, value) || dataPos != data.size()) return fail("bad string data");
      result = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1));
    }
    if (result != ERROR_SUCCESS) return fail("cannot store \"" + name + "\": error " + std::to_string(result));
  }
  return headerSeen || fail("no REGEDIT4 header");
}

DemoDriver InstallDemoDriver(const std::string& printerName, const std::string& driverName,
                             const std::string& portName) {
  CInstallerRights installer;
  Installations().emplace_back();
  Installation& inst = Installations().back();
  DemoDriver& d = inst.driver;
  d.printerName = printerName;
  d.portName = portName;
  d.driverName = driverName;
  d.printerKey = printerName.empty() ? portName : printerName;
  d.modelID = DemoPackageParam("MODEL_ID");
  d.installDir = DemoPackageParam("INSTALL_DIR");
  d.iniFile = d.installDir + "\\" + DemoPackageParam("INI_FILE");
  d.printerLibrary = d.installDir + "\\" + DemoPackageParam("PRN_DLL");
  d.englishResources = d.installDir + "\\" + DemoPackageParam("RES_DLL_ENGLISH");
  d.germanResources = d.installDir + "\\" + DemoPackageParam("RES_DLL_GERMAN");
  d.statusProgram = d.installDir + "\\" + DemoPackageParam("STATUS_EXE");
  d.auxProgram = d.installDir + "\\" + DemoPackageParam("AUX_EXE");

  if (!MakeFolders(d.installDir, &inst.createdFolders)) {
    ADD_FAILURE() << "cannot make " << d.installDir << ": error " << GetLastError();
    return d;
  }
  if (!detail::PlaceDemoBinaries(d.installDir)) return d;

  // The installer's parameter file lies beside the driver's files, uniquely named.
  char szParamFile[MAX_PATH] = {0};
  if (!GetTempFileNameA(d.installDir.c_str(), kParamPrefix, 0, szParamFile)) {
    ADD_FAILURE() << "no parameter file name in " << d.installDir << ": error " << GetLastError();
    return d;
  }
  d.paramFile = szParamFile;
  inst.files = {d.paramFile, d.iniFile};

  InstallNames& names = inst.names;
  names.driverName = driverName;
  names.printerName = printerName;
  names.portName = portName;
  names.residentPath = detail::ShortFolderPath(d.installDir) + "\\" + DemoPackageParam("RESIDENT_EXE");
  names.paramFile = FileName(d.paramFile);

  std::string dir = kTemplateDir;
  std::string ini = BindInstallNames(ReadDemoPackageFile(dir + DemoPackageParam("INI_FILE")), false, names);
  std::string param = BindInstallNames(ReadDemoPackageFile(dir + kParamTemplate), false, names);
  if (!WriteWinFile(d.iniFile, ini) || !WriteWinFile(d.paramFile, param)) {
    ADD_FAILURE() << "cannot write the INI or parameter file in " << d.installDir;
    return d;
  }
  std::string error;
  if (!ApplyRegText(BindInstallNames(ReadDemoPackageFile(dir + kRegTemplate), true, names), &inst.createdKeys,
                    &error))
    ADD_FAILURE() << kRegTemplate << ", " << error;
  d.runCommand = GetReg(HKEY_CURRENT_USER, kRunKey, d.printerKey);
  return d;
}

void UninstallDemoDriver() {
  CInstallerRights installer;
  std::vector<Installation>& installations = Installations();
  for (auto inst = installations.rbegin(); inst != installations.rend(); ++inst) {
    std::string error;
    if (!inst->names.paramFile.empty() &&
        !ApplyRegText(BindInstallNames(ReadDemoPackageFile(std::string(kTemplateDir) + kUninstallTemplate), true,
                                       inst->names),
                      nullptr, &error))
      ADD_FAILURE() << kUninstallTemplate << ", " << error;
    for (auto key = inst->createdKeys.rbegin(); key != inst->createdKeys.rend(); ++key) {
      HKEY root = RootKey(key->substr(0, 4));
      std::string path = key->substr(5);
      if (KeyIsEmpty(root, path)) RegDeleteKeyA(root, path.c_str());
    }
    for (const std::string& file : inst->files) DeleteFileA(file.c_str());
    detail::RemoveDemoBinaries(inst->driver.installDir);
    for (auto folder = inst->createdFolders.rbegin(); folder != inst->createdFolders.rend(); ++folder)
      RemoveDirectoryA(folder->c_str());
  }
  installations.clear();
}

std::vector<std::map<std::string, std::string>> ReadProgramRecords(const std::string& path) {
  std::vector<std::map<std::string, std::string>> records;
  FILE* f = _fsopen(path.c_str(), "rb", _SH_DENYNO);
  if (!f) return records;
  std::string bytes;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof(buffer), f)) > 0;) bytes.append(buffer, n);
  fclose(f);

  std::istringstream lines(bytes);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::map<std::string, std::string>& record = records.emplace_back();
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) {
      size_t eq = field.find('=');
      if (eq != std::string::npos) record[field.substr(0, eq)] = field.substr(eq + 1);
    }
  }
  return records;
}

}  // namespace testenv
