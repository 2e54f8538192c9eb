include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(LINEXML_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/linexml")

install(TARGETS linexml EXPORT linexmlTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT linexmlTargets NAMESPACE linexml:: DESTINATION ${LINEXML_CMAKE_DIR})

configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/linexmlConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/linexmlConfig.cmake"
                              INSTALL_DESTINATION ${LINEXML_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/linexmlConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/linexmlConfig.cmake" "${PROJECT_BINARY_DIR}/linexmlConfigVersion.cmake"
        DESTINATION ${LINEXML_CMAKE_DIR})

# pkg-config: absolute or relative install dirs both end up right.
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
install(FILES "${PROJECT_BINARY_DIR}/linexml.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
