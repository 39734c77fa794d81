# Version information (a VERSIONINFO resource) in every Windows program and
# library, so that Explorer, the list of installed programs and the installer
# show which build a file is. Every number comes from the project's VERSION;
# the installer reads the same one from version.nsh in the build folder.
set(ORV_PRODUCT_NAME "Orvane keyboard service")
set(ORV_PRODUCT_COMPANY "Orvane")

enable_language(RC)

function(orv_version_info target description)
  get_target_property(type ${target} TYPE)
  get_target_property(stem ${target} OUTPUT_NAME)
  if(NOT stem)
    set(stem ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(ORV_FILE_TYPE VFT_APP)
    set(ORV_FILE_NAME ${stem}.exe)
  else()
    set(ORV_FILE_TYPE VFT_DLL)
    set(ORV_FILE_NAME ${stem}.dll)
  endif()
  set(ORV_FILE_STEM ${stem})
  set(ORV_FILE_DESCRIPTION "${description}")
  set(rc ${PROJECT_BINARY_DIR}/version/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

orv_version_info(OrvaneHid "Orvane keyboard service")
orv_version_info(osdview "Orvane on-screen display")
orv_version_info(traystub "Orvane notification-area icon")
orv_version_info(hiddevice_real "Orvane keyboard access library")
orv_version_info(hiddevice_sim "Orvane simulated keyboard")
orv_version_info(orvctl "Orvane window-message driver")
orv_version_info(simctl "Orvane simulated keyboard driver")
orv_version_info(standin "Orvane stand-in windows")

configure_file(${PROJECT_SOURCE_DIR}/installer/version.nsh.in
  ${PROJECT_BINARY_DIR}/installer/version.nsh @ONLY)
