# Install rules. Everything installed belongs to one of three components, which are also the Debian
# packages (cmake/LinexmlPackaging.cmake):
#   runtime      the shared library (only with BUILD_SHARED_LIBS: a static library has no run-time part)
#   development  headers, the static library or the shared library's link name, CMake and pkg-config files,
#                and the API reference in HTML when the docs are built (LINEXML_DOCS)
#   tool         the linexml program, its man page and its shell completions
# Every installed file finds the others by relative paths, so a prefix can be moved after installing.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(LINEXML_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/linexml")

install(TARGETS linexml EXPORT linexmlTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT linexmlTargets NAMESPACE linexml:: DESTINATION ${LINEXML_CMAKE_DIR} COMPONENT development)

configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/linexmlConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/linexmlConfig.cmake"
                              INSTALL_DESTINATION ${LINEXML_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/linexmlConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/linexmlConfig.cmake" "${PROJECT_BINARY_DIR}/linexmlConfigVersion.cmake"
        DESTINATION ${LINEXML_CMAKE_DIR} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own folder (${pcfiledir}), so the file stays
# right when the prefix is moved or unpacked somewhere else. An absolute libdir or includedir can
# only be written as it is.
set(LINEXML_PC_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${LINEXML_PC_DIR}")
  set(LINEXML_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _linexml_pc_up "/prefix/${LINEXML_PC_DIR}" "/prefix")
  string(REGEX REPLACE "/$" "" _linexml_pc_up "${_linexml_pc_up}")
  set(LINEXML_PC_PREFIX "\${pcfiledir}/${_linexml_pc_up}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(LINEXML_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(LINEXML_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(LINEXML_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(LINEXML_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/linexml.pc.in" "${PROJECT_BINARY_DIR}/linexml.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/linexml.pc" DESTINATION "${LINEXML_PC_DIR}" COMPONENT development)

# zsh looks in vendor-completions for the system's packages and in site-functions elsewhere.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
  set(_linexml_zsh_dir "${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions")
else()
  set(_linexml_zsh_dir "${CMAKE_INSTALL_DATADIR}/zsh/site-functions")
endif()
set(LINEXML_ZSH_COMPLETION_DIR "${_linexml_zsh_dir}" CACHE PATH "Where the zsh completion is installed")

if(TARGET linexml_cli)
  # A shared build's tool finds the library beside it, wherever the prefix is moved.
  if(BUILD_SHARED_LIBS AND NOT IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" AND NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    file(RELATIVE_PATH _linexml_bin_to_lib "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${CMAKE_INSTALL_LIBDIR}")
    set_target_properties(linexml_cli PROPERTIES INSTALL_RPATH "\$ORIGIN/${_linexml_bin_to_lib}")
  endif()
  install(FILES "${PROJECT_SOURCE_DIR}/completions/linexml.bash"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME linexml COMPONENT tool)
  install(FILES "${PROJECT_SOURCE_DIR}/completions/_linexml" DESTINATION "${LINEXML_ZSH_COMPLETION_DIR}"
          COMPONENT tool)
  if(TARGET linexml_man)
    # OPTIONAL: a build of the tool target alone can still be installed.
    install(FILES "${LINEXML_MAN_PAGE}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT tool OPTIONAL)
  endif()
endif()
