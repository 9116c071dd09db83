# morvane_library(NAME DIR <dir> [DEPS <targets>...])
# A static library made of every .cpp in one core folder. Each subsystem is its own
# library so that a test links only what it exercises.
function(morvane_library name)
  cmake_parse_arguments(ARG "" "DIR" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "library ${name}: no sources in ${ARG_DIR}")
  endif()
  add_library(${name} STATIC ${sources})
  target_compile_options(${name} PRIVATE ${MORVANE_WARNINGS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/core/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()
