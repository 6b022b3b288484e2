# Fills OUT with the foreign 3DS corpus: every source file of SOURCE_DIR
# exported as <name>_<extension>.3ds by ASSIMP (when it is set), and the 3DS
# files committed there. Run with cmake -P.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
file(GLOB committed ${SOURCE_DIR}/*.3ds)
file(COPY ${committed} DESTINATION ${OUT})
if(NOT ASSIMP)
  return()
endif()
foreach(extension obj ply stl dae gltf)
  file(GLOB sources ${SOURCE_DIR}/*.${extension})
  foreach(source ${sources})
    get_filename_component(name ${source} NAME_WE)
    execute_process(COMMAND ${ASSIMP} export ${source} ${OUT}/${name}_${extension}.3ds
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "assimp could not export ${source}: ${errors}")
    endif()
  endforeach()
endforeach()
