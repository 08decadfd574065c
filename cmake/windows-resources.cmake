# Windows resources of the brisko programs: the icon and the about box logo are drawn at build
# time by src/resources/make_art.cc (compiled for the build machine), then bound into each
# program with its own version information, together with the manifest.
#
#   brisko_windows_resources(TARGET DESCRIPTION)
if(NOT WIN32)
  return()
endif()
enable_language(RC)

set(BRISKO_RESOURCE_FOLDER ${PROJECT_SOURCE_DIR}/src/resources)
set(BRISKO_ART_FOLDER ${CMAKE_BINARY_DIR}/art)
set(brisko_art_outputs ${BRISKO_ART_FOLDER}/brisko.ico ${BRISKO_ART_FOLDER}/logo.bmp)
set(BRISKO_MANIFEST ${CMAKE_BINARY_DIR}/brisko.manifest)
configure_file(${BRISKO_RESOURCE_FOLDER}/brisko.manifest.in ${BRISKO_MANIFEST} @ONLY)

if(NOT TARGET brisko_art)
  include(${PROJECT_SOURCE_DIR}/cmake/build-machine-program.cmake)
  if(NOT CMAKE_CROSSCOMPILING)
    add_executable(brisko_make_art ${BRISKO_RESOURCE_FOLDER}/make_art.cc)
  endif()
  brisko_build_machine_program(art_program TARGET brisko_make_art
                               SOURCES ${BRISKO_RESOURCE_FOLDER}/make_art.cc)
  add_custom_command(
    OUTPUT ${brisko_art_outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BRISKO_ART_FOLDER}
    COMMAND ${art_program} ${BRISKO_ART_FOLDER}
    DEPENDS ${art_program_DEPENDS}
    COMMENT "Drawing the icon and the logo")
  add_custom_target(brisko_art DEPENDS ${brisko_art_outputs})
endif()

function(brisko_windows_resources target description)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(ART_FOLDER ${BRISKO_ART_FOLDER})
  set(MANIFEST ${BRISKO_MANIFEST})
  set(FILE_DESCRIPTION "${description}")
  set(INTERNAL_NAME ${name})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${BRISKO_RESOURCE_FOLDER}/brisko.rc.in ${rc} @ONLY)
  set_source_files_properties(
    ${rc} PROPERTIES OBJECT_DEPENDS
                     "${BRISKO_ART_FOLDER}/brisko.ico;${BRISKO_ART_FOLDER}/logo.bmp;${BRISKO_MANIFEST}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} brisko_art)
endfunction()
