# What Windows reads from Install.exe itself: a version resource (Properties,
# Details) and an application manifest. The manifest asks for no elevation
# (asInvoker): without it Windows would take a program named "Install" for
# a setup program and ask for administrator rights. It also names the
# Windows versions the tool is made for, so that they run it without
# compatibility shims.
set(tool_resources ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/Install.manifest.in
  ${tool_resources}/Install.manifest @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/Install.rc.in
  ${tool_resources}/Install.rc @ONLY)
target_sources(Install PRIVATE ${tool_resources}/Install.rc)
# The resource compiler does not see the manifest as a dependency.
set_source_files_properties(${tool_resources}/Install.rc PROPERTIES
  OBJECT_DEPENDS ${tool_resources}/Install.manifest)
