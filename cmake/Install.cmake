include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS meshweave EXPORT meshweaveTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/meshweave DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT meshweaveTargets NAMESPACE meshweave::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/meshweave)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/meshweaveConfig.cmake.in
  ${PROJECT_BINARY_DIR}/meshweaveConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/meshweave)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/meshweaveConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/meshweaveConfig.cmake
  ${PROJECT_BINARY_DIR}/meshweaveConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/meshweave)
