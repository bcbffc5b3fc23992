# Runs the static_level program, then static_reload in a fresh run in the same folder, and
# checks that the level loaded back with its DDS textures draws exactly the saved picture.
# cmake -DQUORVANEL=<exe> -DCOMPARE=<png_compare> -DFIRST=<qva> -DSECOND=<qva> -DWORK=<dir> -P run_reload.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(program IN ITEMS ${FIRST} ${SECOND})
  get_filename_component(dir ${program} DIRECTORY)
  get_filename_component(name ${program} NAME_WE)
  file(COPY ${program} DESTINATION ${WORK})
  execute_process(COMMAND ${QUORVANEL} run ${name}.qva --headless --echo
    WORKING_DIRECTORY ${WORK} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status TIMEOUT 50)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name} exited with ${status}: ${err}")
  endif()
  file(READ ${dir}/${name}.expected expected)
  if(NOT "${out}" STREQUAL "${expected}")
    message(FATAL_ERROR "${name}: stdout differs.\n--- expected:\n${expected}--- got:\n${out}---")
  endif()
endforeach()
execute_process(COMMAND ${COMPARE} ${WORK}/out.png ${WORK}/reloaded.png 0 RESULT_VARIABLE same ERROR_VARIABLE why)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "the reloaded level draws another picture: ${why}")
endif()
file(REMOVE_RECURSE ${WORK})
