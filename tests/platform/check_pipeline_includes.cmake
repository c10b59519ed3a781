# Fails when a file of the drawing pipeline (PIPELINE_DIR) includes a
# header of the device layer: the device translates its state and objects
# into the pipeline's own structures, never the other way round.
file(GLOB sources ${PIPELINE_DIR}/*.h ${PIPELINE_DIR}/*.cpp)
set(found "")
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"d3d9/")
  if(lines)
    list(APPEND found "${source}: ${lines}")
  endif()
endforeach()
if(found)
  string(REPLACE ";" "\n" found "${found}")
  message(FATAL_ERROR "The pipeline includes device headers:\n${found}")
endif()
