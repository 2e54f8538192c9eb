# Debian packages, one per install component (cmake/LinexmlInstall.cmake): `cpack -G DEB` in a build
# folder configured with -DCMAKE_INSTALL_PREFIX=/usr (so that the library goes to the multiarch
# folder). scripts/deb.sh builds them and checks them by installing them into a throw-away root.
#   static (default): liblinexml-dev  headers, liblinexml.a, CMake and pkg-config files
#                     linexml         the tool (the library linked in), man page, completions
#   BUILD_SHARED_LIBS: liblinexmlN    liblinexml.so.N, which the other two then depend on
set(CPACK_PACKAGE_NAME linexml)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# CPack's own default summary: any other is put in front of each package's description, whose first
# line is already that package's synopsis.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
if(NOT DEFINED CPACK_PACKAGE_CONTACT)
  set(CPACK_PACKAGE_CONTACT "linexml developers <linexml@invalid>")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENTS_ALL development)
if(BUILD_SHARED_LIBS)
  list(APPEND CPACK_COMPONENTS_ALL runtime)
  set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
  set(CPACK_COMPONENT_TOOL_DEPENDS runtime)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "liblinexml${PROJECT_VERSION_MAJOR}")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
      "${PROJECT_DESCRIPTION} (shared library)\nThe shared library that programs built against linexml load.")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
  # dpkg-shlibdeps must find the tool's liblinexml.so.N, which no installed package holds yet.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/src")
endif()
if(TARGET linexml_cli)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME liblinexml-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "${PROJECT_DESCRIPTION} (development files)\nA C++20 library that loads lenient, line-oriented XML text files into a tree, lets a\nprogram look up and change elements and attributes, and writes the document back in its\nown indented layout. Headers, the library, and the files for CMake's find_package and\nfor pkg-config.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME linexml)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION text)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
    "Command-line tool for lenient, line-oriented XML files\nlinexml checks, reads, edits and reformats line-oriented XML text files with the\nlinexml library: check, edit, format, get, set and tree. With its man page and bash\nand zsh completions.")

include(CPack)
