# Which programs load the OpenGL driver: a 2D program (drawing, text, sprites, frames) runs
# without it, and a program with a 3D command loads it, so the check can tell the two apart.
# The dynamic loader's file trace (LD_DEBUG=files) names every library loaded after start.
# cmake -DQUORVANEL=<exe> -DWORK=<dir> -DTWO_D=<file.qva> -DTHREE_D=<file.qva> -P gl_driver_loads.cmake
set(gl_libraries "(libGL|libEGL|libGLX|_dri)[^ ]*\\.so")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failed FALSE)
foreach(program IN ITEMS ${TWO_D} ${THREE_D})
  get_filename_component(name ${program} NAME)
  file(COPY ${program} DESTINATION ${WORK})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_DEBUG=files ${QUORVANEL} run ${name} --headless
    WORKING_DIRECTORY ${WORK}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status TIMEOUT 50)
  if(NOT status EQUAL 0)
    message(SEND_ERROR "${name}: exit status ${status}")
    set(failed TRUE)
  endif()
  string(REGEX MATCH "file=${gl_libraries}[^\n]*dynamically loaded" loaded "${err}")
  if(program STREQUAL TWO_D AND loaded)
    message(SEND_ERROR "${name} uses no 3D but loaded the GL driver: ${loaded}")
    set(failed TRUE)
  elseif(program STREQUAL THREE_D AND NOT loaded)
    message(SEND_ERROR "${name} uses 3D but no GL library load was seen (is LD_DEBUG honoured?)")
    set(failed TRUE)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "GL driver loads differ from what the programs use")
endif()
file(REMOVE_RECURSE ${WORK})
