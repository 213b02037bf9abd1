// Installing the demo driver for tests.
#include "support/DriverPackage.h"

#include "support/TestEnv.h"

#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace testenv {
namespace {

struct Installation {
  DemoDriver driver;
  InstallNames names;
  std::vector<std::string> folders;  // made for it, outermost first
};
std::vector<Installation> g_installations;

std::string PackageDir() {
  const char* bin = std::getenv("PRW3_BIN_DIR");
  return std::string(bin ? bin : "") + "\\driver\\package\\";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
  return text;
}

// The package's files in an installation, with their names' parameters in package.env.
std::vector<std::pair<std::string*, const char*>> Files(DemoDriver& d) {
  return {{&d.iniFile, "INI_FILE"},
          {&d.printerLibrary, "PRN_DLL"},
          {&d.englishResources, "RES_DLL_ENGLISH"},
          {&d.germanResources, "RES_DLL_GERMAN"},
          {&d.statusProgram, "STATUS_EXE"},
          {&d.auxProgram, "AUX_EXE"}};
}

std::string Template(const std::string& name, bool reg, const InstallNames& names) {
  return BindInstallNames(ReadDemoPackageFile("template/" + name), reg, names);
}

// Imports a template of the package with the platform's own importer, so the text is read
// exactly as an installer's would be; the CRT starts it, not an import a test may hook.
// Under load an import has been seen to fail now and then; it is whole or nothing, so it is
// tried again.
void ImportReg(const std::string& name, const InstallNames& names) {
  const std::string file = TempDir() + "prw3demo-import.reg", windir = std::getenv("windir");
  WriteFile(file, Template(name, true, names));
  intptr_t code = 1;  // regedit's exit code, or -1 when it could not start
  for (int attempt = 1; attempt <= 3 && code != 0; ++attempt) {
    code = _spawnl(_P_WAIT, (windir + "\\regedit.exe").c_str(), "regedit", "/s", ("\"" + file + "\"").c_str(), nullptr);
    if (code != 0) std::fprintf(stderr, "regedit /s: exit code %d, attempt %d\n", static_cast<int>(code), attempt);
  }
  RemoveFile(file);
  EXPECT_EQ(0, code) << "regedit /s " << name;
}

}  // namespace

std::string ReadDemoPackageFile(const std::string& relativePath) {
  const std::string bytes = ReadFile(PackageDir() + relativePath);
  EXPECT_NE("<missing>", bytes) << relativePath;
  return bytes;
}

std::string DemoPackageParam(const std::string& name) {
  std::istringstream in(ReadDemoPackageFile("package.env"));
  const std::string prefix = "PRW3_DEMO_" + name + "='";
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, prefix.size(), prefix) == 0)
      return line.substr(prefix.size(), line.find_last_of('\'') - prefix.size());
  ADD_FAILURE() << "package.env has no " << name;
  return "";
}

std::string BindInstallNames(std::string text, bool reg, const InstallNames& names) {
  const std::pair<const char*, std::string> values[] = {
      {"DRIVER_NAME", names.driverName},
      {"PRINTER_NAME", names.printerName},
      {"PORT_NAME", names.portName},
      {"RESIDENT_PATH", names.residentPath},
      {"PARAM_FILE", names.paramFile},
      {"PRINTER_KEY", names.printerName.empty() ? names.portName : names.printerName}};
  for (const auto& [name, value] : values) {
    const std::string escaped = Replaced(Replaced(value, "\\", "\\\\"), "\"", "\\\"");
    text = Replaced(text, std::string("@") + name + "@", reg ? escaped : value);
  }
  return text;
}

DemoDriver InstallDemoDriver(const std::string& printerName, const std::string& driverName,
                             const std::string& portName) {
  Installation& inst = g_installations.emplace_back();
  DemoDriver& d = inst.driver;
  d.printerName = printerName;
  d.portName = portName;
  d.printerKey = printerName.empty() ? portName : printerName;
  d.modelID = DemoPackageParam("MODEL_ID");
  d.installDir = DemoPackageParam("INSTALL_DIR");
  for (const auto& [file, param] : Files(d)) *file = d.installDir + "\\" + DemoPackageParam(param);

  for (size_t pos = d.installDir.find('\\', 3);; pos = d.installDir.find('\\', pos + 1)) {
    if (CreateDirectoryA(d.installDir.substr(0, pos).c_str(), nullptr))
      inst.folders.push_back(d.installDir.substr(0, pos));
    if (pos == std::string::npos) break;
  }
  // A program still running from an earlier test keeps its file: that copy serves.
  for (const auto& [file, param] : Files(d))
    if (file != &d.iniFile) {
      const std::string from = PackageDir() + DemoPackageParam(param);
      EXPECT_TRUE(CopyFileA(from.c_str(), file->c_str(), FALSE) || FileExists(*file)) << from;
    }
  // The installer's parameter file lies beside the driver's files, uniquely named.
  char szParamFile[MAX_PATH] = {0}, szShort[MAX_PATH] = {0};
  EXPECT_TRUE(GetTempFileNameA(d.installDir.c_str(), "O_P", 0, szParamFile)) << d.installDir;
  EXPECT_TRUE(GetShortPathNameA(d.installDir.c_str(), szShort, MAX_PATH)) << d.installDir;
  d.paramFile = szParamFile;
  const std::string resident = std::string(szShort) + "\\" + DemoPackageParam("RESIDENT_EXE");
  inst.names = {driverName, printerName, portName, resident, d.paramFile.substr(d.paramFile.find_last_of('\\') + 1)};
  WriteFile(d.iniFile, Template(DemoPackageParam("INI_FILE"), false, inst.names));
  WriteFile(d.paramFile, Template("param.tmp", false, inst.names));
  ImportReg("prw3demo.reg", inst.names);
  d.runCommand = GetReg(HKEY_CURRENT_USER, kRunKey, d.printerKey);
  return d;
}

void UninstallDemoDriver() {
  for (auto inst = g_installations.rbegin(); inst != g_installations.rend(); ++inst) {
    ImportReg("prw3demo-uninstall.reg", inst->names);
    RemoveFile(inst->driver.paramFile);
    for (const auto& [file, param] : Files(inst->driver)) RemoveFile(*file);
    for (auto folder = inst->folders.rbegin(); folder != inst->folders.rend(); ++folder)
      RemoveDirectoryA(folder->c_str());
  }
  g_installations.clear();
}

std::vector<std::map<std::string, std::string>> ReadProgramRecords(const std::string& path) {
  std::vector<std::map<std::string, std::string>> records;
  std::istringstream lines(ReadFile(path));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line == "<missing>") continue;
    std::map<std::string, std::string>& record = records.emplace_back();
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');)
      if (field.find('=') != std::string::npos)
        record[field.substr(0, field.find('='))] = field.substr(field.find('=') + 1);
  }
  return records;
}

}  // namespace testenv
