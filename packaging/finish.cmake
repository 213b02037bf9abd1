# Finishes the package wixl built from prw3demo.wxs: writes with msibuild what wixl 0.101
# cannot express or gets wrong, then reads the tables back with msiinfo and fails when a
# row is not as set here.
#
#   cmake -DMSI=<package> -DMSIBUILD=<msibuild> -DMSIINFO=<msiinfo> -DVERSION=<x.y.z> -P finish.cmake
cmake_minimum_required(VERSION 3.25)
foreach(name MSI MSIBUILD MSIINFO VERSION)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "${name} is required")
  endif()
endforeach()

# Custom action types, from their bits: source and kind (1 a function of a library in the
# Binary table, 18 a program among the installed files, 51 sets a property), 0x40 its
# result is ignored, 0xC0 started without waiting, 0x400 deferred (in the script),
# 0x500 rollback, 0x800 runs as the system, not as the installing user. wixl 0.101 builds
# a rollback action as an immediate one (2113) and adds 0x800 to the ones setting a
# property (2099): every type is written here.
set(action_types
  SetInstalledParamFile=51 RestoreSettings=1 CheckSettings=1 CheckResidentStart=65
  SelectStartupEntry=51 SelectPortStartupEntry=51 SetResidentPath=1
  SelectResidentClose=51 FindResident=65 CloseResident=82 ClosePortResident=82 WaitForResident=65
  StartResident=210
  SetUndoTextFiles=51 UndoTextFiles=3393
  SetWriteIniFile=51 WriteIniFile=3073
  SetWriteParamFile=51 SetWritePortParamFile=51 WriteParamFile=3073
  SetRestoreIniFile=51 RestoreIniFile=3393
  SetRestoreParamFile=51 SetRestorePortParamFile=51 RestoreParamFile=3393
  SetDeleteTextFiles=51 DeleteTextFiles=3137)

# Public properties are passed from the user interface to the installation only when
# listed here (wixl has no Secure attribute): the names and the saved names.
set(secure_properties PRINTER DRIVER PORT INSTALLED_PRINTER INSTALLED_DRIVER INSTALLED_PORT)

function(export_table out table)
  execute_process(COMMAND "${MSIINFO}" export "${MSI}" "${table}" OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msiinfo export ${table} failed")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

export_table(properties Property)
if(NOT properties MATCHES "\nSecureCustomProperties\t([^\n]*)\n")
  message(FATAL_ERROR "the package has no SecureCustomProperties")
endif()
set(secure "${CMAKE_MATCH_1}")
foreach(property IN LISTS secure_properties)
  string(APPEND secure ";${property}")
endforeach()

set(queries
  # wixl leaves the files' versions out, and Windows Installer would then take every
  # binary for an unversioned file: each carries the package's version, and the language
  # of its version resource (cmake/version.rc.in: 0x409), which a versioned file must name
  # (ICE60). The hashes wixl adds are for unversioned files only, and the package has none.
  "UPDATE `File` SET `Version` = '${VERSION}.0', `Language` = '1033'"
  "DROP TABLE `MsiFileHash`"
  # Windows Installer formats a registry value before it reads its type prefix: a saved
  # name that starts with "#" would be stored as a number. "#%" (REG_EXPAND_SZ) keeps every
  # name a string; RestoreSettings reads it back unexpanded. wixl would escape the "#".
  "UPDATE `Registry` SET `Value` = '#%[PRINTER]' WHERE `Value` = '[PRINTER]'"
  "UPDATE `Registry` SET `Value` = '#%[DRIVER]' WHERE `Value` = '[DRIVER]'"
  "UPDATE `Registry` SET `Value` = '#%[PORT]' WHERE `Value` = '[PORT]'"
  # The start-up entry and its parameter file only with a printer or port to name it.
  "UPDATE `Component` SET `Condition` = 'PrinterKey' WHERE `Component` = 'StartupEntry'")
foreach(pair IN LISTS action_types)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 action)
  list(GET pair 1 type)
  list(APPEND queries "UPDATE `CustomAction` SET `Type` = ${type} WHERE `Action` = '${action}'")
endforeach()
# One msibuild per query: a query's own semicolons would split a list of them.
function(run_query query)
  execute_process(COMMAND "${MSIBUILD}" "${MSI}" -q "${query}" RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msibuild failed: ${query}")
  endif()
endfunction()
foreach(query IN LISTS queries)
  run_query("${query}")
endforeach()
run_query("UPDATE `Property` SET `Value` = '${secure}' WHERE `Property` = 'SecureCustomProperties'")

# Read back: every custom action has the type set above.
export_table(actions CustomAction)
string(REGEX MATCHALL "\n[A-Za-z_][A-Za-z0-9_.]*\t[0-9]+\t" rows "${actions}")
list(LENGTH action_types expected)
list(LENGTH rows found)
if(NOT found EQUAL expected)
  message(FATAL_ERROR "the package has ${found} custom actions, finish.cmake types ${expected}:\n${actions}")
endif()
foreach(row IN LISTS rows)
  string(STRIP "${row}" row)
  string(REPLACE "\t" "=" row "${row}")
  if(NOT row IN_LIST action_types)
    message(FATAL_ERROR "custom action ${row}: not the type finish.cmake sets")
  endif()
endforeach()
export_table(files File)
export_table(components Component)
export_table(properties Property)
export_table(registry Registry)
string(REGEX MATCHALL "\t#%\\[(PRINTER|DRIVER|PORT)\\]\t" saved "${registry}")
list(LENGTH saved saved_count)
string(REGEX MATCHALL "\t${VERSION}\\.0\t1033\t" versioned "${files}")
string(REGEX MATCHALL "\n[^\t\n]+\t[^\t\n]+\t[^\t\n]+\t[0-9]+\t" file_rows "${files}")
list(LENGTH versioned versioned_count)
list(LENGTH file_rows file_count)
if(file_count EQUAL 0 OR NOT versioned_count EQUAL file_count OR NOT components MATCHES "\nStartupEntry\t[^\n]*\tPrinterKey\t" OR NOT saved_count EQUAL 3 OR NOT properties MATCHES "\nSecureCustomProperties\t[^\n]*;PRINTER;DRIVER;PORT;")
  message(FATAL_ERROR "msibuild did not change the package as asked")
endif()
# The start-up entry names its program through ResidentPath: a registry value naming a
# file ([#file], [!file]) would name another component's (ICE69).
if(registry MATCHES "\\[[#!]")
  message(FATAL_ERROR "a registry value names a file:\n${registry}")
endif()
