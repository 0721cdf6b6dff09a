# The libraries of the command line for a cross-build to Windows, from the build machine's
# Debian packages. CLI11 and nlohmann-json are headers alone: only their own folders are put on
# the include path, never the whole of /usr/include. GoogleTest is built from the sources that
# its Debian package ships, and the png library from its Debian source package, fetched by
# `make windows` into COLVANE_SPNG_SOURCE, over the mingw build of zlib.
set(COLVANE_HEADERS ${CMAKE_BINARY_DIR}/linux-headers)
file(MAKE_DIRECTORY ${COLVANE_HEADERS})
foreach(folder CLI nlohmann)
  file(CREATE_LINK /usr/include/${folder} ${COLVANE_HEADERS}/${folder} SYMBOLIC)
endforeach()

add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${COLVANE_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${COLVANE_HEADERS})

# Linked in, so that the program needs no zlib DLL beside it.
find_library(ZLIB_LIBRARY NAMES libz.a z)
find_package(ZLIB REQUIRED)
set(COLVANE_SPNG_SOURCE "" CACHE PATH "The unpacked source of the png library")
if(NOT EXISTS ${COLVANE_SPNG_SOURCE}/spng/spng.c)
  message(FATAL_ERROR "No png library source in COLVANE_SPNG_SOURCE ('${COLVANE_SPNG_SOURCE}'); "
    "`make windows` fetches it")
endif()
enable_language(C)
add_library(spng_static STATIC ${COLVANE_SPNG_SOURCE}/spng/spng.c)
target_include_directories(spng_static PUBLIC ${COLVANE_SPNG_SOURCE}/spng)
target_compile_definitions(spng_static PUBLIC SPNG_STATIC)
target_link_libraries(spng_static PRIVATE ZLIB::ZLIB)
add_library(PkgConfig::SPNG ALIAS spng_static)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
