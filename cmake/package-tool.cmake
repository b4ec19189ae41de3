# The tool's package, made on the Windows build only: cpack makes a ZIP
# holding Install.exe and README.txt (with Windows line ends). Both sit in
# the "tool" component, left out of a plain cmake --install, which installs
# the library.
set(tool_readme ${PROJECT_BINARY_DIR}/packaging/README.txt)
set(tool_program Install.exe)
set(CPACK_GENERATOR ZIP)
set(tool_system windows-x64)
# CR LF: Notepad and every Windows editor.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${tool_readme}
  @ONLY NEWLINE_STYLE CRLF)

install(TARGETS Install RUNTIME DESTINATION . COMPONENT tool EXCLUDE_FROM_ALL)
install(FILES ${tool_readme} DESTINATION . COMPONENT tool EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME quorvel-install)
set(CPACK_PACKAGE_VENDOR Quorvel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Install: finishes the installation of a Quorvel distribution")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL tool)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(tool_package_name ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${tool_system})
# The archive and the folder inside it bear the same name.
set(CPACK_PACKAGE_FILE_NAME ${tool_package_name})
set(CPACK_ARCHIVE_TOOL_FILE_NAME ${tool_package_name})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_OUTPUT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackConfig.cmake)
include(CPack)
