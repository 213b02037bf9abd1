# Writes the WiX source of the package (prw3demo.wxs.in filled in) from the same
# description as the demo's other installation data: driver/install/package.cmake and the
# templates generate.cmake binds. The installation names become the package's properties.
#
#   cmake -DOUT=<wxs> -DWORK_DIR=<scratch> -DVERSION=<x.y.z> -DPRODUCT_NAME=... -DMANUFACTURER=...
#         -DDEFAULT_DRIVER=... -DPARAM_FILE=<O_P*.TMP> -DRESIDENT=<prw3tray.exe path>
#         -DPACKAGE_DIR=<build>/driver/package -DACTION_DLL=<custom action library>
#         -DICON=<.ico for Programs and Features> -DSOURCE_BASE=<folder wixl runs in> -P wxs.cmake
# wixl takes a file's source only relative to the folder it runs in.
cmake_minimum_required(VERSION 3.25)
foreach(name OUT WORK_DIR VERSION PRODUCT_NAME MANUFACTURER DEFAULT_DRIVER PARAM_FILE RESIDENT PACKAGE_DIR ACTION_DLL
    ICON SOURCE_BASE)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "${name} is required")
  endif()
endforeach()
set(install_dir "${CMAKE_CURRENT_LIST_DIR}/../driver/install")
include("${install_dir}/package.cmake")

# Ties every version of the package together; the product code follows the version.
set(UPGRADE_CODE "81158715-EA44-44F6-AC5E-C80B85B7321C")
string(UUID PRODUCT_CODE NAMESPACE "${UPGRADE_CODE}" NAME "prw3demo-${VERSION}-x64" TYPE SHA1 UPPER)
set(SETUP_KEY "software\\OLMAR\\PRW3\\Setup")

# The install folder as the package's own folder property: its part below Program Files
# becomes the folders of the package, each removed at uninstall once empty.
if(NOT PRW3_DEMO_INSTALL_DIR MATCHES "^[A-Za-z]:\\\\Program Files\\\\(.+)$")
  message(FATAL_ERROR "the install folder ${PRW3_DEMO_INSTALL_DIR} is not below Program Files")
endif()
set(sub_dir "${CMAKE_MATCH_1}")
string(REPLACE "\\" ";" folders "${sub_dir}")
# SetResidentPath shortens the part of the resident's path that exists before the
# installation and adds the rest as it stands: that rest must be in 8.3 form.
foreach(name IN LISTS folders ITEMS "${PRW3_DEMO_RESIDENT_EXE}")
  string(REGEX MATCH "^([^ .]+)(\\.([^ .]+))?$" form "${name}")
  string(LENGTH "${CMAKE_MATCH_1}" base)
  string(LENGTH "${CMAKE_MATCH_3}" extension)
  if(NOT form OR base GREATER 8 OR extension GREATER 3)
    message(FATAL_ERROR "${name}: not a name in 8.3 form")
  endif()
endforeach()
list(POP_BACK folders install_folder)
set(FOLDERS_OPEN "")
set(FOLDERS_CLOSE "")
set(COMPONENT_REFS "")
set(number 0)
foreach(folder IN LISTS folders)
  math(EXPR number "${number} + 1")
  # Without a key path wixl cannot make the component's GUID: a fixed one per folder.
  string(UUID guid NAMESPACE "${UPGRADE_CODE}" NAME "folder ${number} ${folder}" TYPE SHA1 UPPER)
  # The folder is the component's key path, so the component makes it (CreateFolder).
  string(APPEND FOLDERS_OPEN "<Directory Id=\"Folder${number}\" Name=\"${folder}\">\n"
    "<Component Id=\"Folder${number}\" Guid=\"${guid}\" Win64=\"yes\"><CreateFolder/>"
    "<RemoveFolder Id=\"RemoveFolder${number}\" On=\"uninstall\"/></Component>\n")
  string(PREPEND FOLDERS_CLOSE "</Directory>\n")
  string(APPEND COMPONENT_REFS "<ComponentRef Id=\"Folder${number}\"/>\n")
endforeach()
string(APPEND FOLDERS_OPEN "<Directory Id=\"InstallFolder\" Name=\"${install_folder}\">")
string(PREPEND FOLDERS_CLOSE "</Directory>\n")

# One component per program or library, the file named as the description names it.
set(resident_source "${RESIDENT}")
set(RESIDENT "${PRW3_DEMO_RESIDENT_EXE}")
set(FILE_COMPONENTS "")
foreach(name RESIDENT_EXE STATUS_EXE AUX_EXE PRN_DLL RES_DLL_ENGLISH RES_DLL_GERMAN)
  set(file "${PRW3_DEMO_${name}}")
  set(source "${PACKAGE_DIR}/${file}")
  if(name STREQUAL "RESIDENT_EXE")
    set(source "${resident_source}")
  endif()
  file(RELATIVE_PATH source "${SOURCE_BASE}" "${source}")
  string(APPEND FILE_COMPONENTS "<Component Id=\"${file}\" Guid=\"*\" Win64=\"yes\">"
    "<File Id=\"${file}\" Name=\"${file}\" Source=\"${source}\" KeyPath=\"yes\"/></Component>\n")
  string(APPEND COMPONENT_REFS "<ComponentRef Id=\"${file}\"/>\n")
endforeach()

# The templates with the package parameters bound; the install folder and the
# installation names stay placeholders, bound below to the package's properties.
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" "-DOUT_DIR=${WORK_DIR}" "-DINSTALL_DIR=@INSTALL_DIR@"
  "-DPARAM_FILE=${PARAM_FILE}" -P "${install_dir}/generate.cmake" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "generate.cmake failed")
endif()

# A character no template holds, to park text in while replacing around it.
string(ASCII 1 parked)

# Text for a formatted column of Windows Installer: the template's own brackets and
# braces as literals, the placeholders as properties ([!file] is a file's short path).
function(msi_text out text)
  string(REPLACE "[" "${parked}" text "${text}")
  string(REPLACE "]" "[\\]]" text "${text}")
  string(REPLACE "${parked}" "[\\[]" text "${text}")
  string(REPLACE "{" "[\\{]" text "${text}")
  string(REPLACE "}" "[\\}]" text "${text}")
  string(REPLACE "@INSTALL_DIR@" "[ProgramFiles64Folder]${sub_dir}" text "${text}")
  string(REPLACE "@DRIVER_NAME@" "[DRIVER]" text "${text}")
  string(REPLACE "@PRINTER_NAME@" "[PRINTER]" text "${text}")
  string(REPLACE "@PRINTER_KEY@" "[PrinterKey]" text "${text}")
  string(REPLACE "@PORT_NAME@" "[PORT]" text "${text}")
  string(REPLACE "@RESIDENT_PATH@" "[ResidentPath]" text "${text}")
  if(text MATCHES "@[A-Z_]+@")
    message(FATAL_ERROR "no package property for ${CMAKE_MATCH_0}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(xml_attr out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  string(REPLACE "\r" "&#13;" text "${text}")
  string(REPLACE "\n" "&#10;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A .reg file's lines as a list: one line per element, line ends dropped.
function(read_reg_lines out file)
  file(READ "${WORK_DIR}/${file}" text)
  if(text MATCHES ";")
    message(FATAL_ERROR "${file}: a semicolon cannot be carried over")
  endif()
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The start-up entry of the .reg (in the user's Run key) is the machine's here: the
# package installs for every user.
set(run_key "software\\Microsoft\\Windows\\CurrentVersion\\Run")
function(reg_key out root_and_key)
  if(NOT root_and_key MATCHES "^(HKEY_LOCAL_MACHINE|HKEY_CURRENT_USER)\\\\(.+)$")
    message(FATAL_ERROR "unsupported key ${root_and_key}")
  endif()
  if(CMAKE_MATCH_1 STREQUAL "HKEY_CURRENT_USER" AND NOT CMAKE_MATCH_2 STREQUAL run_key)
    message(FATAL_ERROR "a per-machine package writes no per-user key: ${root_and_key}")
  endif()
  set(${out} "${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()

function(registry_value out key name value)
  msi_text(key "${key}")
  msi_text(name "${name}")
  msi_text(value "${value}")
  xml_attr(key "${key}")
  xml_attr(name "${name}")
  xml_attr(value "${value}")
  set(${out} "<RegistryValue Root=\"HKLM\" Key=\"${key}\" Name=\"${name}\" Value=\"${value}\" Type=\"string\"/>\n" PARENT_SCOPE)
endfunction()

# prw3demo.reg: every string value, in the start-up entry's component or the driver's.
set(DRIVER_KEYS "")
set(STARTUP_ENTRY "")
set(written "")
set(driver_named_keys "")
read_reg_lines(lines prw3demo.reg)
set(key "")
foreach(line IN LISTS lines)
  if(line STREQUAL "" OR line STREQUAL "REGEDIT4")
    continue()
  elseif(line MATCHES "^\\[(.+)\\]$")
    reg_key(key "${CMAKE_MATCH_1}")
  elseif(key AND line MATCHES "^\"(([^\"\\\\]|\\\\.)*)\"=\"(([^\"\\\\]|\\\\.)*)\"$")
    set(name "${CMAKE_MATCH_1}")
    set(value "${CMAKE_MATCH_3}")
    foreach(var name value)
      string(REPLACE "\\\\" "${parked}" ${var} "${${var}}")
      string(REPLACE "\\\"" "\"" ${var} "${${var}}")
      string(REPLACE "${parked}" "\\" ${var} "${${var}}")
    endforeach()
    registry_value(element "${key}" "${name}" "${value}")
    if(key STREQUAL run_key)
      string(APPEND STARTUP_ENTRY "${element}")
    else()
      string(APPEND DRIVER_KEYS "${element}")
    endif()
    list(APPEND written "${key}\\${name}")
    list(APPEND written_keys "${key}")
    if(key MATCHES "@DRIVER_NAME@")
      msi_text(named_key "${key}")
      list(APPEND driver_named_keys "${named_key}")
    endif()
    if(name STREQUAL "InstallPath")
      set(driver_key "${key}")
    endif()
  else()
    message(FATAL_ERROR "prw3demo.reg: cannot carry over: ${line}")
  endif()
endforeach()

# The resident writes "InstallPath" and "O_PRUN" (the status program's path) back into the
# driver's key once it has found them. The package writes "O_PRUN" too, with the path the
# resident would write: so the uninstall removes it as its own, and an upgrade, which
# removes the old version's values, writes it again.
if(NOT driver_key)
  message(FATAL_ERROR "prw3demo.reg: no driver key with an InstallPath value")
endif()
registry_value(element "${driver_key}" "O_PRUN" "@INSTALL_DIR@\\${PRW3_DEMO_STATUS_EXE}")
string(APPEND DRIVER_KEYS "${element}")
list(APPEND written "${driver_key}\\O_PRUN")

# prw3demo-uninstall.reg removes the driver's keys whole. The package removes only the
# values it wrote (the resident's write-backs among them), and Windows Installer deletes a
# key that this leaves empty: values a driver's own installer wrote into the same keys
# stay. Each key the .reg removes must be one the package writes into.
read_reg_lines(lines prw3demo-uninstall.reg)
set(key "")
foreach(line IN LISTS lines)
  if(line STREQUAL "" OR line STREQUAL "REGEDIT4")
    continue()
  elseif(line MATCHES "^\\[-(.+)\\]$")
    reg_key(removed "${CMAKE_MATCH_1}")
    if(NOT removed IN_LIST written_keys)
      message(FATAL_ERROR "prw3demo-uninstall.reg removes ${removed}, into which the package writes nothing")
    endif()
  elseif(line MATCHES "^\\[(.+)\\]$")
    reg_key(key "${CMAKE_MATCH_1}")
  elseif(key AND line MATCHES "^\"(.+)\"=-$")
    if(NOT "${key}\\${CMAKE_MATCH_1}" IN_LIST written)
      message(FATAL_ERROR "prw3demo-uninstall.reg removes ${key}\\${CMAKE_MATCH_1}, which the package does not write")
    endif()
  else()
    message(FATAL_ERROR "prw3demo-uninstall.reg: cannot carry over: ${line}")
  endif()
endforeach()

# The keys named after the driver, and the key of the start-up entry named after the
# printer: CheckSettings refuses names whose entries exist and are not the package's own.
list(REMOVE_DUPLICATES driver_named_keys)
string(REPLACE ";" "\n" driver_named_keys "${driver_named_keys}")
xml_attr(DRIVER_NAMED_KEYS "${driver_named_keys}")
xml_attr(STARTUP_KEY "${run_key}")
# The installed parameter file, for a repair to read the names back when their saved
# values are missing. Known before the folders are: the install folder is fixed.
msi_text(INSTALLED_PARAM_FILE "@INSTALL_DIR@\\${PARAM_FILE}")
xml_attr(INSTALLED_PARAM_FILE "${INSTALLED_PARAM_FILE}")

# A set-property action's value, for a column of 255 characters (ICE03): the template's
# text around its placeholders, each run that holds brackets or braces in a property of
# its own (TextPart<n>), whose value the action inserts as it stands, without escapes.
set(TEXT_PARTS "")
set(text_parts 0)
function(msi_data out prefix text)
  set(value "${prefix}")
  while(NOT text STREQUAL "")
    string(REGEX MATCH "@[A-Z_]+@" placeholder "${text}")
    string(LENGTH "${text}" at)
    if(placeholder)
      string(FIND "${text}" "${placeholder}" at)
    endif()
    string(SUBSTRING "${text}" 0 ${at} run)
    set(escaped FALSE)
    foreach(char "[" "]" "{" "}")
      string(FIND "${run}" "${char}" found)
      if(found GREATER -1)
        set(escaped TRUE)
      endif()
    endforeach()
    if(escaped)
      math(EXPR text_parts "${text_parts} + 1")
      xml_attr(part "${run}")
      string(APPEND TEXT_PARTS "<Property Id=\"TextPart${text_parts}\" Value=\"${part}\"/>\n")
      string(APPEND value "[TextPart${text_parts}]")
    else()
      msi_text(run "${run}")
      string(APPEND value "${run}")
    endif()
    if(placeholder)
      string(LENGTH "${placeholder}" length)
      math(EXPR at "${at} + ${length}")
      string(SUBSTRING "${text}" ${at} -1 text)
      msi_text(placeholder "${placeholder}")
      string(APPEND value "${placeholder}")
    else()
      set(text "")
    endif()
  endwhile()
  string(LENGTH "${value}" length)
  if(length GREATER 255)
    message(FATAL_ERROR "a set-property action's value is ${length} characters long, its column holds 255:\n${value}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
  set(TEXT_PARTS "${TEXT_PARTS}" PARENT_SCOPE)
  set(text_parts ${text_parts} PARENT_SCOPE)
endfunction()

# The text files: path, line feed, content, as the custom action reads them. For a printer
# known only by its port, the parameter file names no printer: its lines with the printer's
# name are left out.
set(folder "[InstallFolder]")
foreach(kind INI PARAM PORT_PARAM)
  set(file "${PRW3_DEMO_INI_FILE}")
  if(kind MATCHES "PARAM")
    set(file "${PARAM_FILE}")
  endif()
  # file(READ) drops carriage returns: the lines get their Windows ends back.
  file(READ "${WORK_DIR}/${file}" text)
  if(kind STREQUAL "PORT_PARAM")
    string(REGEX REPLACE "[^\n]*@PRINTER_NAME@[^\n]*\n" "" text "${text}")
    if(NOT text MATCHES "@PORT_NAME@" OR text MATCHES "@PRINTER_")
      message(FATAL_ERROR "${file}: no parameter file for a printer known by its port")
    endif()
  endif()
  string(REPLACE "\n" "\r\n" text "${text}")
  msi_data(text "${folder}" "${file}\n${text}")
  xml_attr(${kind}_DATA "${text}")
  if(NOT kind STREQUAL "PORT_PARAM")
    list(APPEND text_files "${folder}${file}")
  endif()
endforeach()
string(REPLACE ";" "\n" text_files "${text_files}")
xml_attr(TEXT_FILES "${text_files}")
file(RELATIVE_PATH ACTION_DLL "${SOURCE_BASE}" "${ACTION_DLL}")
file(RELATIVE_PATH ICON "${SOURCE_BASE}" "${ICON}")
xml_attr(DEFAULT_DRIVER "${DEFAULT_DRIVER}")
xml_attr(PRODUCT_NAME "${PRODUCT_NAME}")

configure_file("${CMAKE_CURRENT_LIST_DIR}/prw3demo.wxs.in" "${OUT}" @ONLY)
