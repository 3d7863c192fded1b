# The project's version is written in one place, the [project] table of
# pyproject.toml. A build by pip gets it from scikit-build-core; the plain CMake
# builds (the Makefile's) read it from the file. Sets:
#   RAVIR_VERSION_STRING  the version as written, which the module gives as __version__
#   RAVIR_VERSION_RELEASE its numeric release part, all that project(VERSION) takes

if(DEFINED SKBUILD_PROJECT_VERSION)
  set(RAVIR_VERSION_RELEASE "${SKBUILD_PROJECT_VERSION}")
  if(DEFINED SKBUILD_PROJECT_VERSION_FULL)  # scikit-build-core 0.11 on
    set(RAVIR_VERSION_STRING "${SKBUILD_PROJECT_VERSION_FULL}")
  else()
    set(RAVIR_VERSION_STRING "${SKBUILD_PROJECT_VERSION}")
  endif()
else()
  set(_ravir_pyproject "${CMAKE_CURRENT_LIST_DIR}/../pyproject.toml")
  file(READ "${_ravir_pyproject}" _ravir_toml)
  # The [project] table runs from its header to the next table header, the next
  # line that starts with "[" (the lines of a multi-line array are indented or
  # start with "]").
  string(PREPEND _ravir_toml "\n")
  string(FIND "${_ravir_toml}" "\n[project]" _ravir_start)
  if(_ravir_start EQUAL -1)
    message(FATAL_ERROR "pyproject.toml has no [project] table to take the version from")
  endif()
  string(SUBSTRING "${_ravir_toml}" ${_ravir_start} -1 _ravir_table)
  string(LENGTH "\n[project]" _ravir_header)
  string(SUBSTRING "${_ravir_table}" ${_ravir_header} -1 _ravir_table)
  string(FIND "${_ravir_table}" "\n[" _ravir_end)
  if(NOT _ravir_end EQUAL -1)
    string(SUBSTRING "${_ravir_table}" 0 ${_ravir_end} _ravir_table)
  endif()
  if(NOT _ravir_table MATCHES "\nversion[ \t]*=[ \t]*[\"']([^\"'\n]+)[\"']")
    message(FATAL_ERROR "pyproject.toml's [project] table has no version = \"...\" to take the version from")
  endif()
  set(RAVIR_VERSION_STRING "${CMAKE_MATCH_1}")
  if(NOT RAVIR_VERSION_STRING MATCHES "^([0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?)")
    message(FATAL_ERROR "pyproject.toml's version \"${RAVIR_VERSION_STRING}\" does not start with a release number")
  endif()
  set(RAVIR_VERSION_RELEASE "${CMAKE_MATCH_1}")
  # A changed version configures the build again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_ravir_pyproject}")
  unset(_ravir_pyproject)
  unset(_ravir_toml)
  unset(_ravir_start)
  unset(_ravir_table)
  unset(_ravir_header)
  unset(_ravir_end)
endif()
