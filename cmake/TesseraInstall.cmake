# cmake --install: the public header, the library, its CMake package
# (find_package(Tessera), target Tessera::tessera) and its pkg-config file.
# The decoder's internal headers stay in the tree. All of it is the install
# component "Tessera" (cmake --install BUILD --component Tessera), apart from
# the programs of the tree.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS tessera EXPORT TesseraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Tessera
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Tessera
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tessera)
install(FILES "${PROJECT_SOURCE_DIR}/include/tessera/jpeg.h"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessera COMPONENT Tessera)

set(tessera_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Tessera)
install(EXPORT TesseraTargets NAMESPACE Tessera:: DESTINATION ${tessera_package_dir}
  COMPONENT Tessera)
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/TesseraConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/TesseraConfig.cmake" INSTALL_DESTINATION ${tessera_package_dir})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/TesseraConfigVersion.cmake"
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/TesseraConfig.cmake"
  "${PROJECT_BINARY_DIR}/TesseraConfigVersion.cmake" DESTINATION ${tessera_package_dir}
  COMPONENT Tessera)

if(BUILD_SHARED_LIBS)
  set(TESSERA_PC_CFLAGS "-DTESSERA_SHARED_LIBRARY")
else()
  set(TESSERA_PC_CFLAGS "")
endif()
# The file finds the prefix from where it lies, so the installed tree may move
# (cmake --install --prefix DIR) as the CMake package may.
file(RELATIVE_PATH TESSERA_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig"
  "${CMAKE_INSTALL_PREFIX}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/tessera.pc.in" "${PROJECT_BINARY_DIR}/tessera.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/tessera.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT Tessera)
