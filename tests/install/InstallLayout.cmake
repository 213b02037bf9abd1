# Installs a Windows build into a scratch prefix and checks that it is the layout a user
# can copy: exactly the package's files, and a .reg whose every path names one of them.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DSOURCE_DIR=<repository> -P InstallLayout.cmake
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/driver/install/package.cmake)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

# The folder the .reg files name, as it lies under the prefix.
string(REGEX REPLACE "^[A-Za-z]:\\\\" "" program_dir "${PRW3_DEMO_INSTALL_DIR}")
string(REPLACE "\\" "/" program_dir "${program_dir}")

# The parameter file the start-up entry names (none: the comparison below fails).
file(READ "${PREFIX}/prw3demo.reg" reg)
string(REGEX MATCH "\"[^\"\r\n]+\"=\"[^\r\n]*\\\\\\\\(O_P[0-9A-F]+\\.TMP)\\\\\"\"" start_entry "${reg}")
set(PRW3_DEMO_PARAM_FILE "${CMAKE_MATCH_1}")

set(expected prw3demo.reg prw3demo-uninstall.reg)
foreach(name RESIDENT_EXE PRN_DLL RES_DLL_ENGLISH RES_DLL_GERMAN STATUS_EXE AUX_EXE INI_FILE PARAM_FILE)
  list(APPEND expected "${program_dir}/${PRW3_DEMO_${name}}")
endforeach()
list(SORT expected)
file(GLOB_RECURSE found RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT found)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "installed: ${found}\nexpected: ${expected}")
endif()

# Every file the registry names (the INI file, the tool in the Menu key, the resident
# of the start-up entry under the folder's short name) must be installed.
string(REPLACE "\\\\" "\\" reg_unescaped "${reg}")
string(REGEX MATCHALL "[A-Z]:\\\\[^\"\r\n]*\\.(EXE|exe|INI|DLL|TMP)" reg_paths "${reg_unescaped}")
if(NOT reg_paths)
  message(FATAL_ERROR "prw3demo.reg names no files")
endif()
foreach(path IN LISTS reg_paths)
  string(REGEX REPLACE "^.*\\\\" "" file_name "${path}")
  if(NOT EXISTS "${PREFIX}/${program_dir}/${file_name}")
    message(FATAL_ERROR "prw3demo.reg names ${path}, which is not installed")
  endif()
endforeach()
file(READ "${PREFIX}/prw3demo-uninstall.reg" uninstall_reg)
if("${reg}${uninstall_reg}" MATCHES "@[A-Z_]+@")
  message(FATAL_ERROR "a .reg file keeps the placeholder ${CMAKE_MATCH_0}")
endif()
