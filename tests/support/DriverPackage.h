// The demo printer driver installed for tests from the files the build generated
// (<build>/driver/package; the build folder comes from PRW3_BIN_DIR): its programs and
// libraries copied into the install folder, its registry text imported by the platform's
// own importer, its INI and parameter files written.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testenv {

// One installation of the package for a printer.
struct DemoDriver {
  std::string printerName, portName;
  std::string printerKey;  // the printer name, or the port name when that is empty
  std::string modelID;
  std::string installDir;  // without a trailing backslash
  std::string paramFile;   // the start-up entry's parameter file (full path)
  std::string runCommand;  // data of the start-up entry, the HKCU Run value named printerKey
  // The package's files in the install folder (full paths).
  std::string iniFile, printerLibrary, englishResources, germanResources, statusProgram, auxProgram;
};

// Installs the package for one printer: profile, driver key with its Menu key, IO_URL key,
// start-up entry, the model's INI file, the parameter file and the binaries. The driver
// name must be the one the spooler reports for the printer. With an empty printer name
// the printer is known by portName.
DemoDriver InstallDemoDriver(const std::string& printerName, const std::string& driverName,
                             const std::string& portName = "");
// Removes what every InstallDemoDriver since the last call wrote, in reverse order.
void UninstallDemoDriver();

// The names an installation binds in the generated templates.
struct InstallNames {
  std::string driverName, printerName, portName;
  std::string residentPath;  // blank-free path of the resident program
  std::string paramFile;     // bare name of the parameter file in the install folder
};

// A generated file of the package, and its parameters from package.env (MODEL_ID,
// INSTALL_DIR, INI_FILE, PRN_DLL, RES_DLL_ENGLISH, ...).
std::string ReadDemoPackageFile(const std::string& relativePath);
std::string DemoPackageParam(const std::string& name);

// Binds the installation names in a template by the generator's rules: in a .reg file
// (reg true) values are escaped for quoted strings; PRINTER_KEY is the printer name, or
// the port name when that is empty.
std::string BindInstallNames(std::string text, bool reg, const InstallNames& names);

// The record lines the demo programs append to PRW3_RECORD_FILE, one map per line.
std::vector<std::map<std::string, std::string>> ReadProgramRecords(const std::string& path);

}  // namespace testenv
