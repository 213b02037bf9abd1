# What `cmake --install` puts under its prefix for a Windows build: a copy of the demo
# installation a Windows user can take as it is.
#   Program Files/OLMAR/PRW3/   the resident, the driver's libraries and programs, the
#                               model's INI file and the start-up entry's parameter file
#   prw3demo.reg                registry keys and start-up entry (C:\Program Files\OLMAR\PRW3)
#   prw3demo-uninstall.reg      the same entries removed
# Included by driver/CMakeLists.txt, whose package names and default installation it uses.

# The install folder as the .reg files name it, without its drive.
string(REGEX REPLACE "^[A-Za-z]:\\\\" "" PRW3_INSTALL_PROGRAM_DIR "${PRW3_DEMO_INSTALL_DIR}")
string(REPLACE "\\" "/" PRW3_INSTALL_PROGRAM_DIR "${PRW3_INSTALL_PROGRAM_DIR}")

install(TARGETS prw3tray prw3demo_prnlib prw3demo_res_english prw3demo_res_german prw3demo_status prw3demo_aux
  RUNTIME DESTINATION ${PRW3_INSTALL_PROGRAM_DIR}
  LIBRARY DESTINATION ${PRW3_INSTALL_PROGRAM_DIR})
install(FILES ${PRW3_DEMO_PACKAGE_DIR}/${PRW3_DEMO_INI_FILE} ${PRW3_DEMO_PACKAGE_DIR}/${PRW3_DEMO_DEFAULT_PARAM_FILE}
  DESTINATION ${PRW3_INSTALL_PROGRAM_DIR})
install(FILES ${PRW3_DEMO_PACKAGE_DIR}/prw3demo.reg ${PRW3_DEMO_PACKAGE_DIR}/prw3demo-uninstall.reg
  DESTINATION .)
