# Compresses one file as Debian wants it, at the highest level and without the name or time of
# the input, so that two builds of a package hold the same bytes:
# cmake -DGZIP=... -DSOURCE=... -DOUTPUT=... -P gzip.cmake.
execute_process(COMMAND ${GZIP} -9n -c INPUT_FILE ${SOURCE} OUTPUT_FILE ${OUTPUT}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "gzip could not compress ${SOURCE}")
endif()
