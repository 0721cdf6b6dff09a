# Runs scdoc on one page: cmake -DSCDOC=... -DSOURCE=... -DOUTPUT=... -P scdoc.cmake. scdoc
# reads standard input and writes standard output, which a build command cannot redirect
# portably itself.
execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "scdoc could not turn ${SOURCE} into a manual page")
endif()
