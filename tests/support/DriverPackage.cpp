// Installing the demo driver for tests, the part both platforms share: reading the
// build's generated package, binding the installation names, importing the registry text,
// writing the INI and parameter files, and undoing it all.
#include "support/DriverPackage.h"

#include "support/DriverPackagePlatform.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace testenv {
namespace {

const char kEnvPrefix[] = "PRW3_DEMO_";
const char kRegTemplate[] = "prw3demo.reg";
const char kUninstallTemplate[] = "prw3demo-uninstall.reg";
const char kRunKey[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Installation {
  DemoDriver driver;
  InstallNames names;
  std::vector<std::string> folders;  // made for it, outermost first
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
    std::istringstream in(ReadDemoPackageFile("package.env"));
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

// Makes the folder and the missing ones above it, noting those it made.
bool MakeFolders(const std::string& folder, std::vector<std::string>* pMade) {
  for (size_t pos = folder.find('\\', 3);; pos = folder.find('\\', pos + 1)) {
    if (CreateDirectoryA(folder.substr(0, pos).c_str(), nullptr)) pMade->push_back(folder.substr(0, pos));
    else if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (pos == std::string::npos) return true;
  }
}

// The bound text of a template of the package.
std::string Template(const std::string& name, bool reg, const InstallNames& names) {
  return BindInstallNames(ReadDemoPackageFile("template/" + name), reg, names);
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

DemoDriver InstallDemoDriver(const std::string& printerName, const std::string& driverName,
                             const std::string& portName) {
  CInstallerRights installer;
  Installation& inst = Installations().emplace_back();
  DemoDriver& d = inst.driver;
  d.printerName = printerName;
  d.portName = portName;
  d.driverName = driverName;
  d.printerKey = printerName.empty() ? portName : printerName;
  d.modelID = DemoPackageParam("MODEL_ID");
  d.installDir = DemoPackageParam("INSTALL_DIR");
  const std::pair<std::string*, const char*> files[] = {
      {&d.iniFile, "INI_FILE"},          {&d.printerLibrary, "PRN_DLL"},   {&d.englishResources, "RES_DLL_ENGLISH"},
      {&d.germanResources, "RES_DLL_GERMAN"}, {&d.statusProgram, "STATUS_EXE"}, {&d.auxProgram, "AUX_EXE"}};
  for (const auto& file : files) *file.first = d.installDir + "\\" + DemoPackageParam(file.second);

  // The installer's parameter file lies beside the driver's files, uniquely named.
  char szParamFile[MAX_PATH] = {0};
  if (!MakeFolders(d.installDir, &inst.folders) || !detail::PlaceDemoBinaries(d.installDir) ||
      !GetTempFileNameA(d.installDir.c_str(), "O_P", 0, szParamFile)) {
    ADD_FAILURE() << "cannot install in " << d.installDir << ": error " << GetLastError();
    return d;
  }
  d.paramFile = szParamFile;
  inst.names = {driverName, printerName, portName,
                detail::ShortFolderPath(d.installDir) + "\\" + DemoPackageParam("RESIDENT_EXE"),
                FileName(d.paramFile)};
  WriteFile(d.iniFile, Template(DemoPackageParam("INI_FILE"), false, inst.names));
  WriteFile(d.paramFile, Template("param.tmp", false, inst.names));
  std::string error;
  if (!detail::ImportReg(Template(kRegTemplate, true, inst.names), &error)) ADD_FAILURE() << kRegTemplate << ", " << error;
  d.runCommand = GetReg(HKEY_CURRENT_USER, kRunKey, d.printerKey);
  return d;
}

void UninstallDemoDriver() {
  CInstallerRights installer;
  for (auto inst = Installations().rbegin(); inst != Installations().rend(); ++inst) {
    std::string error;
    if (!inst->names.paramFile.empty() && !detail::ImportReg(Template(kUninstallTemplate, true, inst->names), &error))
      ADD_FAILURE() << kUninstallTemplate << ", " << error;
    const DemoDriver& d = inst->driver;
    for (const std::string& file : {d.paramFile, d.iniFile, d.printerLibrary, d.englishResources, d.germanResources,
                                    d.statusProgram, d.auxProgram})
      DeleteFileA(file.c_str());
    for (auto folder = inst->folders.rbegin(); folder != inst->folders.rend(); ++folder)
      RemoveDirectoryA(folder->c_str());
  }
  Installations().clear();
}

std::vector<std::map<std::string, std::string>> ReadProgramRecords(const std::string& path) {
  std::vector<std::map<std::string, std::string>> records;
  const std::string bytes = ReadFile(path);
  if (bytes == "<missing>") return records;
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
