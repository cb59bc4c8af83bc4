# Installs the libraries, the public headers, a CMake package (find_package(tarvel)
# giving tarvel::tarvel) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS tarvel korbcore zunlang tarvelplatform EXPORT tarvelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tarvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The public headers: what a program using tarvel includes, and every header
# they include. All others are internal and stay out of the install. The
# install test compiles each of these alone and checks that they define no
# macro, so a public header that reaches an internal one fails it.
set(TARVEL_PUBLIC_HEADERS
  tarvel.h
  correlation/correlation.h
  display/display.h
  display/dib_rows.h
  image/image.h
  imagefile/imagefile.h
  overlaid/overlaid.h
  pyramid/pyramid.h
  pyramid/directory_lock.h
  host/host.h
  host/bitmap.h
  host/image.h
  host/parts.h
  host/png_writer.h
  host/progress.h
  host/qdc.h
  host/zun.h
  platform/windows_types.h)
foreach(header ${TARVEL_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${TARVEL_INCLUDE_DIR}/${folder})
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
