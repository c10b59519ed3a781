# Installs the build in BUILD_DIR into PREFIX and checks what arrived:
#  - every file is a public header, a library, a program or a package file,
#    and every public header of the source tree is there;
#  - no installed text file names the source or build directory;
#  - installed libraries and programs find their libraries relative to
#    themselves;
#  - each public header compiles alone with the installed include directory,
#    the Direct3D ones with the device's include directory added, the others
#    without it (they must not need <windows.h> or <d3d9.h>).
# Arguments: BUILD_DIR SOURCE_DIR PREFIX CXX LIBDIR WITH_D3D9.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result})")
endif()

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

set(inc include/kxdxrenderer)
set(allowed
  "^${inc}/(kxdxrenderer|KXDXRendererVersion)\\.h$"
  "^${inc}/sceneapi/sceneapi\\.h$"
  "^${inc}/(sceneapi|canvas|renderer|renderer/dx|resources|imagegen|widgets)/KX[A-Za-z0-9]*\\.h$"
  "^${inc}/raytracer/KXRayTracer\\.h$"
  "^${LIBDIR}/libkx(dxrenderer|scene|d3d9)\\.so(\\.[0-9]+)*$"
  "^${LIBDIR}/cmake/kxdxrenderer/kxdxrenderer(Config|ConfigVersion|Targets|Targets-[a-z]+)\\.cmake$"
  "^${LIBDIR}/pkgconfig/kxdxrenderer\\.pc$"
  "^bin/kxrender$")
if(WITH_D3D9)
  list(APPEND allowed
    "^${inc}/d3d9/(windows|d3d9|d3d9caps|d3d9types|d3dx9|d3dx9core|d3dx9math|d3dx9tex|d3dx9shader|d3dx9effect)\\.h$"
    "^${LIBDIR}/pkgconfig/kxdxrenderer-d3d9\\.pc$")
endif()
# Internal headers, whose names the patterns above would let through.
include(${SOURCE_DIR}/cmake/KXInternalHeaders.cmake)
set(internal "")
foreach(header ${KX_INTERNAL_HEADERS})
  string(REPLACE "." "\\." pattern "/${header}$")
  list(APPEND internal "${pattern}")
endforeach()

file(GLOB_RECURSE installed RELATIVE ${PREFIX} LIST_DIRECTORIES false ${PREFIX}/*)
list(SORT installed)
list(LENGTH installed count)
message(STATUS "Installed ${count} files:")
foreach(file ${installed})
  message(STATUS "  ${file}")
  set(known FALSE)
  foreach(pattern ${allowed})
    if(file MATCHES "${pattern}")
      set(known TRUE)
    endif()
  endforeach()
  foreach(pattern ${internal})
    if(file MATCHES "${pattern}")
      set(known FALSE)
    endif()
  endforeach()
  if(NOT known)
    fail("stray file: ${file}")
  endif()
endforeach()

# What a consumer needs must all be there.
set(required
  ${inc}/kxdxrenderer.h ${inc}/KXDXRendererVersion.h ${inc}/canvas/KXCanvas.h ${inc}/raytracer/KXRayTracer.h
  ${inc}/renderer/KXExport.h ${inc}/sceneapi/KXSceneExport.h ${inc}/renderer/dx/KXDXRenderer.h
  ${LIBDIR}/libkxdxrenderer.so ${LIBDIR}/libkxscene.so
  ${LIBDIR}/cmake/kxdxrenderer/kxdxrendererConfig.cmake ${LIBDIR}/cmake/kxdxrenderer/kxdxrendererConfigVersion.cmake
  ${LIBDIR}/cmake/kxdxrenderer/kxdxrendererTargets.cmake ${LIBDIR}/pkgconfig/kxdxrenderer.pc)
if(WITH_D3D9)
  list(APPEND required ${LIBDIR}/libkxd3d9.so ${inc}/d3d9/d3d9.h ${inc}/d3d9/d3dx9.h ${inc}/d3d9/windows.h)
endif()
foreach(folder sceneapi canvas renderer renderer/dx resources imagegen widgets)
  file(GLOB headers RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h)
  foreach(header ${headers})
    set(public TRUE)
    foreach(pattern ${internal})
      if("/${header}" MATCHES "${pattern}")
        set(public FALSE)
      endif()
    endforeach()
    if(public)
      list(APPEND required ${inc}/${header})
    endif()
  endforeach()
endforeach()
foreach(file ${required})
  if(NOT EXISTS ${PREFIX}/${file})
    fail("missing: ${file}")
  endif()
endforeach()

# Relocatable: the package files name no directory of this machine.
foreach(file ${installed})
  if(file MATCHES "\\.(cmake|pc|h)$")
    file(READ ${PREFIX}/${file} text)
    foreach(dir ${SOURCE_DIR} ${BUILD_DIR} ${PREFIX})
      string(FIND "${text}" "${dir}" at)
      if(NOT at EQUAL -1)
        fail("${file} names ${dir}")
      endif()
    endforeach()
  endif()
endforeach()

# Run paths: libraries look beside themselves, the program in ../LIBDIR.
find_program(READELF readelf)
if(READELF)
  file(RELATIVE_PATH bin_to_lib ${PREFIX}/bin ${PREFIX}/${LIBDIR})
  foreach(file ${installed})
    set(expected "")
    if(file MATCHES "^${LIBDIR}/libkx[a-z0-9]*\\.so\\.[0-9.]*$" AND NOT IS_SYMLINK ${PREFIX}/${file})
      set(expected "$ORIGIN")
    elseif(file MATCHES "^bin/")
      set(expected "$ORIGIN/${bin_to_lib}")
    endif()
    if(expected)
      execute_process(COMMAND ${READELF} -d ${PREFIX}/${file} OUTPUT_VARIABLE dynamic)
      if(NOT dynamic MATCHES "\\((RUNPATH|RPATH)\\)[^\n]*\\[([^]\n]*)\\]")
        fail("${file} has no run path")
      elseif(NOT CMAKE_MATCH_2 STREQUAL expected)
        fail("${file} has run path ${CMAKE_MATCH_2}, expected ${expected}")
      endif()
    endif()
  endforeach()
endif()

# Each public header on its own, as the first and only include of a file.
set(scratch ${PREFIX}-headers)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
set(plain_sources "")
set(d3d9_sources "")
set(index 0)
foreach(file ${installed})
  string(REGEX MATCH "^${inc}/(.*\\.h)$" matched "${file}")
  set(header "${CMAKE_MATCH_1}")
  if(matched AND NOT header MATCHES "^d3d9/")
    math(EXPR index "${index} + 1")
    set(source ${scratch}/header${index}.cpp)
    file(WRITE ${source} "#include \"${header}\"\n")
    if(header MATCHES "^(renderer/dx|resources)/")
      list(APPEND d3d9_sources ${source})
    else()
      list(APPEND plain_sources ${source})
    endif()
  endif()
endforeach()
# The commands of one execute_process run at the same time: the interface
# headers in two halves, then the Direct3D ones.
set(flags -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${PREFIX}/${inc})
list(LENGTH plain_sources plain_count)
math(EXPR half "${plain_count} / 2")
list(SUBLIST plain_sources 0 ${half} first_half)
list(SUBLIST plain_sources ${half} -1 second_half)
execute_process(
  COMMAND ${CXX} ${flags} ${first_half}
  COMMAND ${CXX} ${flags} ${second_half}
  RESULTS_VARIABLE results ERROR_VARIABLE errors)
if(NOT results STREQUAL "0;0")
  fail("interface headers do not compile alone without the Direct3D headers:\n${errors}")
endif()
if(WITH_D3D9 AND d3d9_sources)
  execute_process(COMMAND ${CXX} ${flags} -I${PREFIX}/${inc}/d3d9 ${d3d9_sources}
    RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    fail("Direct3D headers do not compile alone:\n${errors}")
  endif()
endif()
file(REMOVE_RECURSE ${scratch})

if(failures)
  message(FATAL_ERROR "Installed tree under ${PREFIX}:\n${failures}")
endif()
