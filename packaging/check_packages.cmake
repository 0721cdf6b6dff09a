# Installs the build once whole and once per package, and fails when a file is in neither package
# (an install rule without a component, which both packages would leave out), when one is in
# both (dpkg would refuse the second package), or when colvane-cli loads a toolkit library:
# cmake -DBUILD=... -DWORK=... -P check_packages.cmake.
cmake_minimum_required(VERSION 3.22)

function(install_files component prefix files)
  file(REMOVE_RECURSE ${prefix})
  if(component)
    set(only --component ${component})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix} ${only}
                  OUTPUT_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install ${only} failed")
  endif()
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
  set(${files} ${found} PARENT_SCOPE)
endfunction()

install_files("" ${WORK}/whole whole)
install_files(cli ${WORK}/cli cli)
install_files(window ${WORK}/window window)

foreach(path IN LISTS whole)
  if(NOT path IN_LIST cli AND NOT path IN_LIST window)
    list(APPEND in_neither ${path})
  endif()
endforeach()
foreach(path IN LISTS cli)
  if(path IN_LIST window)
    list(APPEND in_both ${path})
  endif()
endforeach()
if(in_neither)
  message(FATAL_ERROR "installed, but in no package: ${in_neither}")
endif()
if(in_both)
  message(FATAL_ERROR "in both packages: ${in_both}")
endif()

file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${WORK}/cli/bin/colvane-cli
     RESOLVED_DEPENDENCIES_VAR libraries UNRESOLVED_DEPENDENCIES_VAR unresolved)
list(FILTER libraries INCLUDE REGEX "libQt")
if(libraries OR unresolved)
  message(FATAL_ERROR "colvane-cli loads ${libraries} ${unresolved}")
endif()
