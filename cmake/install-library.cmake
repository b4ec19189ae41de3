# Installs the configuration library the way C and C++ projects expect to
# find it: the header, the library, a CMake package (find_package(inifile
# CONFIG) gives inifile::inifile) and a pkg-config file, inifile.pc.
# Everything goes in the "library" component, the default installation.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(inifile_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/inifile)

# inifile.hpp: the C++ interface, over inifile.h; inifile_filesystem.hpp:
# its loads and saves that take a std::filesystem::path.
set_target_properties(inifile PROPERTIES PUBLIC_HEADER
  "${PROJECT_SOURCE_DIR}/inifile/inifile.h;${PROJECT_SOURCE_DIR}/inifile/inifile.hpp;${PROJECT_SOURCE_DIR}/inifile/inifile_filesystem.hpp")
install(TARGETS inifile EXPORT inifile-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
          NAMELINK_COMPONENT library
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT library
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT inifile-targets
  NAMESPACE inifile::
  DESTINATION ${inifile_package_dir}
  COMPONENT library)

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/inifile-config.cmake.in
  ${PROJECT_BINARY_DIR}/inifile-config.cmake
  INSTALL_DESTINATION ${inifile_package_dir})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/inifile-config-version.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/inifile-config.cmake
    ${PROJECT_BINARY_DIR}/inifile-config-version.cmake
  DESTINATION ${inifile_package_dir}
  COMPONENT library)

# inifile.pc finds the prefix from its own place (${pcfiledir}), so the
# installed tree can be moved or installed with --prefix.
set(pc_libdir ${CMAKE_INSTALL_LIBDIR})
set(pc_includedir ${CMAKE_INSTALL_INCLUDEDIR})
foreach(dir pc_libdir pc_includedir)
  if(NOT IS_ABSOLUTE "${${dir}}")
    set(${dir} "\${prefix}/${${dir}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(pc_prefix ${CMAKE_INSTALL_PREFIX})
else()
  file(RELATIVE_PATH pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" pc_up "${pc_up}")
  set(pc_prefix "\${pcfiledir}/${pc_up}")
endif()
set(pc_cflags "")
if(inifile_type STREQUAL "SHARED_LIBRARY")
  set(pc_cflags " -DINIFILE_SHARED")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/inifile.pc.in ${PROJECT_BINARY_DIR}/inifile.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/inifile.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT library)
