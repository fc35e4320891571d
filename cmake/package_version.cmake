# A release candidate carries another version than project(): the
# environment variable PACKAGE_VERSION=X.Y.Z of the configure step (make
# package passes it on) replaces PROJECT_VERSION and its parts, and with them
# the version resource and manifest of zebcfg.exe and zebinstall --version.
# X and Y are at most 255 and Z at most 65535, what a Windows Installer
# product version holds.
set(ZEB_PACKAGE_VERSION "$ENV{PACKAGE_VERSION}")
if(NOT ZEB_PACKAGE_VERSION STREQUAL "")
  set(zeb_number "(0|[1-9][0-9]*)")
  if(NOT ZEB_PACKAGE_VERSION MATCHES "^${zeb_number}\\.${zeb_number}\\.${zeb_number}$"
     OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255
     OR CMAKE_MATCH_3 GREATER 65535)
    message(FATAL_ERROR "PACKAGE_VERSION=${ZEB_PACKAGE_VERSION} is not a "
            "version X.Y.Z with X and Y at most 255 and Z at most 65535")
  endif()
  set(PROJECT_VERSION ${ZEB_PACKAGE_VERSION})
  set(PROJECT_VERSION_MAJOR ${CMAKE_MATCH_1})
  set(PROJECT_VERSION_MINOR ${CMAKE_MATCH_2})
  set(PROJECT_VERSION_PATCH ${CMAKE_MATCH_3})
endif()

# scripts/package.sh checks that each build carries the version it packages.
file(CONFIGURE OUTPUT version.txt CONTENT "${PROJECT_VERSION}\n")
