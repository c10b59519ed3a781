# What `cmake --install` puts under the prefix: the public headers, the
# shared libraries, the CMake package and the pkg-config files.

# Public headers keep their folders; internal ones stay in the source tree.
include(${CMAKE_CURRENT_LIST_DIR}/KXInternalHeaders.cmake)
set(KX_PUBLIC_HEADERS kxdxrenderer.h raytracer/KXRayTracer.h)
foreach(folder sceneapi canvas renderer renderer/dx resources imagegen widgets)
  file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  list(APPEND KX_PUBLIC_HEADERS ${headers})
endforeach()
list(REMOVE_ITEM KX_PUBLIC_HEADERS ${KX_INTERNAL_HEADERS})
foreach(header ${KX_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${KX_INSTALL_INCLUDEDIR}/${folder})
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/include/KXDXRendererVersion.h DESTINATION ${KX_INSTALL_INCLUDEDIR})

set(KX_INSTALLED_LIBRARIES kxdxrenderer kxscene)
if(TARGET kxd3d9)
  list(APPEND KX_INSTALLED_LIBRARIES kxd3d9)
endif()
install(TARGETS ${KX_INSTALLED_LIBRARIES} EXPORT kxdxrendererTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# find_package(kxdxrenderer CONFIG) gives kxdxrenderer::kxdxrenderer,
# kxdxrenderer::kxscene and, on Linux, kxdxrenderer::d3d9. Every other
# dependency is private to a shared library, so the package finds nothing.
install(EXPORT kxdxrendererTargets
  NAMESPACE kxdxrenderer::
  FILE kxdxrendererTargets.cmake
  DESTINATION ${KX_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/kxdxrendererConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/kxdxrendererConfig.cmake
  INSTALL_DESTINATION ${KX_INSTALL_CMAKEDIR}
  NO_SET_AND_CHECK_MACRO)
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/kxdxrendererConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/package/kxdxrendererConfig.cmake
  ${PROJECT_BINARY_DIR}/package/kxdxrendererConfigVersion.cmake
  DESTINATION ${KX_INSTALL_CMAKEDIR})

# pkg-config files find the prefix from their own place (${pcfiledir}), so
# that the installed tree can move.
set(KX_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH KX_PKGCONFIG_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${KX_INSTALL_PKGCONFIGDIR} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KX_PKGCONFIG_TO_PREFIX "${KX_PKGCONFIG_TO_PREFIX}")
configure_file(cmake/kxdxrenderer.pc.in ${PROJECT_BINARY_DIR}/package/kxdxrenderer.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/kxdxrenderer.pc DESTINATION ${KX_INSTALL_PKGCONFIGDIR})
if(TARGET kxd3d9)
  configure_file(cmake/kxdxrenderer-d3d9.pc.in ${PROJECT_BINARY_DIR}/package/kxdxrenderer-d3d9.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/package/kxdxrenderer-d3d9.pc DESTINATION ${KX_INSTALL_PKGCONFIGDIR})
endif()
