# The programs are built with the hardening the distribution builds its own packages with:
# stack protection, checked string and memory functions, position-independent executables and
# a read-only table of relocations resolved at start. The checked functions need an optimised
# build, so debug builds (and the sanitizer builds made from them) go without.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong
                    "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options(-Wl,-z,relro -Wl,-z,now)
