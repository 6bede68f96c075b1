# Runs a whole pipeline in DIR: the model (velmora-mesh import GEO with
# IMPORT_OPTIONS, or the strip generator with STRIP_OPTIONS; options
# separated by "|"), velmora, then velmora-mesh export with no options, as a
# user would type them in the run's directory.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
string(REPLACE "|" ";" strip_options "${STRIP_OPTIONS}")
string(REPLACE "|" ";" import_options "${IMPORT_OPTIONS}")

function(step)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${DIR}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit status ${status}\n${out}${err}")
  endif()
  set(step_out "${out}" PARENT_SCOPE)
endfunction()

if(GEO)
  get_filename_component(geo_name ${GEO} NAME)
  file(COPY ${GEO} DESTINATION ${DIR})
  step(${VELMORA_MESH} import ${geo_name} ${import_options} -o input.txt)
else()
  step(${VELMORA_MESH} ${strip_options} -o input.txt)
endif()
step(${VELMORA})
if(NOT step_out MATCHES "Optimal" OR step_out MATCHES "NOT Optimal")
  message(FATAL_ERROR "velmora did not converge:${step_out}")
endif()
step(${VELMORA_MESH} export)
foreach(file result.vtu result.svg)
  if(NOT EXISTS ${DIR}/${file})
    message(FATAL_ERROR "velmora-mesh export wrote no ${file}")
  endif()
endforeach()
message(STATUS "${DIR}: input.txt, output.txt, result.vtu, result.svg")
