// What the resident shares with the programs and libraries around it: resource and
// command identifiers, window messages, registry and INI names, file names, the
// command-line formats of the started programs and the printer library's export.
#pragma once

#include <windows.h>

// Language resource library.
const int IDI_TRAYICON_0 = 700;  // icons 700, 701, 702, picked by "TrayIconSelected"
const int TRAYICON_COUNT = 3;
const int IDR_TRAYMENU = 801;  // sub-menu 0 is the tray pop-up
const int AUX_FIRST_ID = 920;  // strings and bitmaps of the auxiliary items
const int AUX_LAST_ID = 998;
const int AUX_ITEM_COUNT = AUX_LAST_ID - AUX_FIRST_ID + 1;

// Menu commands of the pop-up; the window procedure routes 920 to 999 to OnAux.
const UINT ID_PRINTER_STATUS = 900;
const UINT ID_MONITORING_PREFERENCES = 901;
const UINT AUX_ROUTE_LAST_ID = 999;

// The hidden window and its private messages.
constexpr const char TRAY_WND_CLASS[] = "TrayIconWClass";
constexpr const char TRAY_WND_TITLE[] = "PRW3 TrayIcon";
const UINT WM_TRAYNOTIFY = WM_USER + 100;      // lParam: the mouse message
const UINT WM_TRAYICONCHANGE = WM_USER + 200;  // re-read "TrayIconSelected"
const UINT_PTR DELPRN_TIMER_ID = 2;

// Registry, HKEY_LOCAL_MACHINE.
constexpr const char REG_DEBUG_KEY[] = "SOFTWARE\\OLMAR\\PRW3\\Debug";
constexpr const char REG_DEBUG_VALUE[] = "O_PIC";
constexpr const char REG_PROFILE_KEY[] = "software\\OLMAR\\PRW3\\Profile";
constexpr const char REG_DRIVER_KEY_PREFIX[] = "software\\OLMAR\\PRW3\\Driver\\";
constexpr const char REG_DRIVER_KEY_FMT[] = "%s%s";
constexpr const char REG_MENU_KEY_FMT[] = "%s%s\\Menu";
constexpr const char REG_IO_URL_KEY_FMT[] = "Software\\OLMAR\\%s IO_URL";
constexpr const char REG_MODEL_ID[] = "ModelID";
constexpr const char REG_INSTALL_PATH[] = "InstallPath";
constexpr const char REG_STATUS_PROGRAM[] = "O_PRUN";
constexpr const char REG_DEP_EXE[] = "DepExe";
constexpr const char REG_SEPARATORS[] = "Separators";

// Registry, HKEY_CURRENT_USER: monitored targets.
constexpr const char REG_VQL_TARGET_KEY[] = "software\\OLMAR\\PRW3\\PRWData\\VQLTarget";
constexpr const char REG_VQN_TARGET_KEY[] = "software\\OLMAR\\PRW3\\PRWData\\VQNTarget";
constexpr const char REG_TARGET_NAME[] = "Name";
constexpr const char REG_TARGET_SETTING[] = "Setting";
constexpr const char REG_TARGET_TIMER[] = "Timer";
constexpr const char TRAY_ICON_SELECTED[] = "TrayIconSelected";  // target key and INI
constexpr const char TRAY_ICON_ENABLE[] = "TrayIconEnable";      // target key and INI
constexpr const char TRAY_ICON_END_TIME[] = "TrayIconEndTime";   // INI only

// Start-up entries, in both hives.
constexpr const char REG_RUN_KEY[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The model's INI file.
constexpr const char INI_INSTALL_SECTION[] = "Install";
constexpr const char INI_DRVNAME[] = "DRVNAME";
constexpr const char INI_PRN_DLL[] = "PrnDll";
constexpr const char INI_LANGUAGE_SECTION[] = "Language";
constexpr const char INI_RES_DLL[] = "ResDll";
constexpr const char DEFAULT_DRIVER_PREFIX[] = "OLMAR ";

// Files.
constexpr const char DEBUG_LOG_PATH[] = "C:\\O_PxxIC.LOG";
constexpr const char STATUS_PROGRAM_FILE[] = "O_P10RN1.EXE";
constexpr const char PARAM_FILE_PREFIX[] = "O_P";  // parameter files: O_P<hex>.TMP
constexpr const char PARAM_FILE_EXT[] = ".TMP";

// Command lines of the started programs (the program path or command comes first).
constexpr const char STATUS_CMDLINE_FILE_FMT[] = "%s /F \"%s\"";
constexpr const char STATUS_CMDLINE_INLINE_FMT[] = "%s /P%d \"%s\" /O%d \"%s\" /M%d \"%s\" %s";
constexpr const char AUX_CMDLINE_FMT[] = "%s /P \"%s\" /M \"%s\" /D \"%s\" /O \"%s\"";

// The printer library's export: fills a new target with the driver's defaults.
// Arguments: printer name, driver name, port name, model id, then three zeros.
constexpr const char PR_SET_REG_DEFAULT_VALUE[] = "PrSetRegDefaultValue";
typedef int(WINAPI* PFN_PrSetRegDefaultValue)(LPCSTR pszPrinterName, LPCSTR pszDriverName, LPCSTR pszPortName,
                                              LPCSTR pszModelID, DWORD dwReserved1, DWORD dwReserved2,
                                              DWORD dwReserved3);
