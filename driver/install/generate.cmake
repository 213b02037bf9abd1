# Generates the demo driver's installation files from the *.in templates beside this
# script: the registry description and its removal, the model's INI file, a start-up
# entry's parameter file, and package.env (the package parameters, for scripts and tests).
#
#   cmake [-D<NAME>=<value>...] -DOUT_DIR=<dir> -P generate.cmake
#
# Package parameters default to package.cmake. Installation parameters (DRIVER_NAME,
# PRINTER_NAME, PORT_NAME, RESIDENT_PATH, PARAM_FILE) that are not given stay as @NAME@
# placeholders, so that an output can serve as the template of a later binding; whoever
# binds them follows the same rules:
#   - in a .reg file a value is escaped for a quoted string (\ and " get a backslash);
#     in every other file it goes in verbatim;
#   - PRINTER_KEY is PRINTER_NAME, or PORT_NAME when PRINTER_NAME is empty;
#   - the parameter file is written as PARAM_FILE (param.tmp while unbound), the model's
#     INI file as INI_FILE, the other outputs under their template's name without ".in";
#   - Windows files get CR LF line ends, package.env LF.
cmake_minimum_required(VERSION 3.25)

if(NOT OUT_DIR)
  message(FATAL_ERROR "OUT_DIR is required")
endif()
set(TEMPLATE_DIR "${CMAKE_CURRENT_LIST_DIR}")
include("${CMAKE_CURRENT_LIST_DIR}/package.cmake")

set(bound)
set(complete ON)
foreach(name IN LISTS PRW3_DEMO_PACKAGE_PARAMS)
  if(NOT DEFINED ${name})
    set(${name} "${PRW3_DEMO_${name}}")
  endif()
  list(APPEND bound ${name})
endforeach()
foreach(name IN LISTS PRW3_DEMO_INSTALL_PARAMS)
  if(DEFINED ${name})
    list(APPEND bound ${name})
  else()
    set(complete OFF)
  endif()
endforeach()

# Names end up in key paths, value names, INI lines and quoted switches.
foreach(name DRIVER_NAME PRINTER_NAME PORT_NAME)
  if(DEFINED ${name} AND "${${name}}" MATCHES "[\r\n]")
    message(FATAL_ERROR "${name} must be one line")
  endif()
endforeach()
if(DEFINED DRIVER_NAME AND "${DRIVER_NAME}" MATCHES "[]\\\\\"[]")
  message(FATAL_ERROR "DRIVER_NAME must not hold a backslash, a double quote or a bracket: it names registry keys")
endif()

if(DEFINED PRINTER_NAME AND NOT PRINTER_NAME STREQUAL "")
  set(PRINTER_KEY "${PRINTER_NAME}")
  list(APPEND bound PRINTER_KEY)
elseif(DEFINED PRINTER_NAME AND DEFINED PORT_NAME)
  set(PRINTER_KEY "${PORT_NAME}")
  list(APPEND bound PRINTER_KEY)
endif()

# Replaces the bound placeholders in text; reg: escape for a quoted .reg string.
function(prw3_bind out text reg)
  foreach(name IN LISTS bound)
    set(value "${${name}}")
    if(reg)
      string(REPLACE "\\" "\\\\" value "${value}")
      string(REPLACE "\"" "\\\"" value "${value}")
    endif()
    string(REPLACE "@${name}@" "${value}" text "${text}")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(GLOB templates RELATIVE "${TEMPLATE_DIR}" "${TEMPLATE_DIR}/*.in")
if(NOT templates)
  message(FATAL_ERROR "no templates in ${TEMPLATE_DIR}")
endif()
file(MAKE_DIRECTORY "${OUT_DIR}")
foreach(template IN LISTS templates)
  string(REGEX REPLACE "\\.in$" "" output "${template}")
  if(output STREQUAL "model.ini")
    set(output "${INI_FILE}")
  elseif(output STREQUAL "param.tmp" AND DEFINED PARAM_FILE)
    set(output "${PARAM_FILE}")
  endif()
  set(reg OFF)
  if(output MATCHES "\\.reg$")
    set(reg ON)
  endif()

  file(READ "${TEMPLATE_DIR}/${template}" text)
  prw3_bind(text "${text}" ${reg})
  if(complete AND text MATCHES "@[A-Z_]+@")
    message(FATAL_ERROR "${template}: no value for ${CMAKE_MATCH_0}")
  endif()
  if(NOT output MATCHES "\\.env$")
    string(REPLACE "\n" "\r\n" text "${text}")
  endif()
  file(WRITE "${OUT_DIR}/${output}" "${text}")
endforeach()
