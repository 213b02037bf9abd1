# The demo driver package's fixed parameters: model, install folder and file names.
# Included by driver/CMakeLists.txt (target names) and by generate.cmake (defaults of the
# template parameters); a -D on the generator's command line overrides one.
set(PRW3_DEMO_PACKAGE_PARAMS
  MODEL_ID INSTALL_DIR INI_FILE PRN_DLL RES_DLL_ENGLISH RES_DLL_GERMAN STATUS_EXE AUX_EXE RESIDENT_EXE)

set(PRW3_DEMO_MODEL_ID "PRW3DEMO")
# The folder has a blank on purpose: start-up entries must then use its short form.
set(PRW3_DEMO_INSTALL_DIR "C:\\Program Files\\OLMAR\\PRW3")
set(PRW3_DEMO_INI_FILE "PRW3DEMO.INI")
set(PRW3_DEMO_PRN_DLL "O_PPRN.DLL")
set(PRW3_DEMO_RES_DLL_ENGLISH "O_PRES09.DLL")
set(PRW3_DEMO_RES_DLL_GERMAN "O_PRES07.DLL")
set(PRW3_DEMO_STATUS_EXE "O_P10RN1.EXE")
set(PRW3_DEMO_AUX_EXE "O_PAUX.EXE")
set(PRW3_DEMO_RESIDENT_EXE "prw3tray.exe")

# Chosen per installation (per printer and driver): left as placeholders when not given.
set(PRW3_DEMO_INSTALL_PARAMS DRIVER_NAME PRINTER_NAME PORT_NAME RESIDENT_PATH PARAM_FILE)
