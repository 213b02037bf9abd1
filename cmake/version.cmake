# The project's version on every shipped Windows binary: prw3_version_resource adds a
# VERSIONINFO (cmake/version.rc.in) and, to programs, the application manifest
# (cmake/app.manifest).
set(PRW3_PRODUCT_NAME "OLMAR Printwatch 3")
set(PRW3_COMPANY_NAME "OLMAR")

# The version is major.minor.patch, as Windows Installer compares it: at most 255.255.65535.
# It ignores a fourth field, so two packages differing only there would install side by
# side; and the package's next version (msi_next) is the patch plus one.
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "version ${PROJECT_VERSION}: give exactly three fields, major.minor.patch (Windows Installer ignores a fourth)")
endif()
if(PROJECT_VERSION_MAJOR GREATER 255 OR PROJECT_VERSION_MINOR GREATER 255 OR PROJECT_VERSION_PATCH GREATER 65535)
  message(FATAL_ERROR "version ${PROJECT_VERSION} is beyond what Windows Installer compares (255.255.65535)")
endif()

# prw3_version_resource(<target> <file name> <description>)
function(prw3_version_resource target file_name description)
  set(PRW3_RC_FILE_NAME "${file_name}")
  set(PRW3_RC_DESCRIPTION "${description}")
  string(REGEX REPLACE "\\.[^.]*$" "" PRW3_RC_INTERNAL_NAME "${file_name}")
  set(manifest)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(PRW3_RC_FILE_TYPE VFT_APP)
    # 1 = CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 = RT_MANIFEST
    set(manifest ${PROJECT_SOURCE_DIR}/cmake/app.manifest)
    set(PRW3_RC_MANIFEST "1 24 \"${manifest}\"")
    if(MSVC)
      # The manifest is ours; the linker must not add its own.
      target_link_options(${target} PRIVATE /MANIFEST:NO)
    endif()
  else()
    set(PRW3_RC_FILE_TYPE VFT_DLL)
    set(PRW3_RC_MANIFEST "")
  endif()
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc_file} @ONLY)
  target_sources(${target} PRIVATE ${rc_file})
  if(manifest)
    set_source_files_properties(${rc_file} PROPERTIES OBJECT_DEPENDS ${manifest})
  endif()
endfunction()
