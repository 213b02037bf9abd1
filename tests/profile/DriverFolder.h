// A driver installation for tests on both platforms: a scratch folder with the model's
// INI file and the driver's files, and the profile value naming the INI file. Files and
// folders go with the object; registry keys go with the test environment's clean-up.
#pragma once

#include "support/TestFiles.h"
#include "support/TestRegistry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace profiletest {

const char kProfileKey[] = "software\\OLMAR\\PRW3\\Profile";
const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\Drv1";

class CDriverFolder {
public:
  explicit CDriverFolder(const std::string& dir = "C:\\prw3test\\Drv") : m_dir(dir) {
    for (size_t cut = dir.find('\\', 3);; cut = dir.find('\\', cut + 1)) {
      if (CreateDirectoryA(dir.substr(0, cut).c_str(), nullptr)) m_folders.push_back(dir.substr(0, cut));
      if (cut == std::string::npos) break;
    }
  }
  ~CDriverFolder() {
    for (const std::string& path : m_files) DeleteFileA(path.c_str());
    for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it) RemoveDirectoryA(it->c_str());
  }

  std::string Path(const std::string& name) const { return m_dir + "\\" + name; }
  std::string Write(const std::string& name, const std::string& bytes = "") {
    m_files.push_back(Path(name));
    testenv::WriteFile(m_files.back(), bytes);
    return m_files.back();
  }
  // Writes the model's INI file and names it in the profile key.
  std::string WriteIni(const std::string& text, const std::string& name = "X1.INI", const std::string& id = "X1") {
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kProfileKey, id, Write(name, text));
    return m_files.back();
  }

  const std::string m_dir;

private:
  std::vector<std::string> m_folders;
  std::vector<std::string> m_files;
};

}  // namespace profiletest
