# Installs the libraries, the headers by folder, a CMake package (find_package(tarvel)
# giving tarvel::tarvel) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS tarvel korbcore zunlang tarvelplatform EXPORT tarvelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tarvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES tarvel.h DESTINATION ${TARVEL_INCLUDE_DIR})
foreach(folder platform host image pyramid imagefile overlaid display correlation)
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
    install(DIRECTORY ${folder}/ DESTINATION ${TARVEL_INCLUDE_DIR}/${folder}
      FILES_MATCHING PATTERN "*.h"
      # Headers private to the host stand-ins' decoders and swap file, and to
      # the correlator's scan and the display fills.
      PATTERN "decode" EXCLUDE PATTERN "swap_file.h" EXCLUDE PATTERN "template_scan.h" EXCLUDE
      PATTERN "view_fill.h" EXCLUDE PATTERN "layer_choice.h" EXCLUDE)
  endif()
endforeach()

install(EXPORT tarvelTargets NAMESPACE tarvel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvel)
configure_package_config_file(cmake/tarvelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tarvelConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tarvelConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tarvelConfig.cmake ${PROJECT_BINARY_DIR}/tarvelConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarvel)

configure_file(cmake/tarvel.pc.in ${PROJECT_BINARY_DIR}/tarvel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
