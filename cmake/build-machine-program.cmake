# Programs that run during the build (generators) must run on the build machine. A native build
# uses the program's own target; a cross build compiles the same sources a second time with the
# build machine's compiler.
#
#   brisko_build_machine_program(VARIABLE TARGET target SOURCES file... [INCLUDES dir...]
#                                [DEPENDS file...])
# sets VARIABLE to the program to run and VARIABLE_DEPENDS to what a command running it
# depends on.
include_guard(GLOBAL)

function(brisko_build_machine_program variable)
  cmake_parse_arguments(P "" "TARGET" "SOURCES;INCLUDES;DEPENDS" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    find_program(BRISKO_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
    set(program ${CMAKE_CURRENT_BINARY_DIR}/host/${P_TARGET})
    set(includes "")
    foreach(dir IN LISTS P_INCLUDES)
      list(APPEND includes -I${dir})
    endforeach()
    add_custom_command(
      OUTPUT ${program}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/host
      COMMAND ${BRISKO_HOST_CXX} -std=c++20 -O1 ${includes} ${P_SOURCES} -o ${program}
      DEPENDS ${P_SOURCES} ${P_DEPENDS}
      COMMENT "Building ${P_TARGET} for the build machine")
    set(${variable} ${program} PARENT_SCOPE)
    set(${variable}_DEPENDS ${program} PARENT_SCOPE)
  else()
    set(${variable} $<TARGET_FILE:${P_TARGET}> PARENT_SCOPE)
    set(${variable}_DEPENDS ${P_TARGET} PARENT_SCOPE)
  endif()
endfunction()
