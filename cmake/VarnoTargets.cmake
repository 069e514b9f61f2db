# Compiler settings shared by every target of the project.
set(VARNO_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wold-style-cast -Woverloaded-virtual)
# CComObject's IDispatch members override only in objects that offer IDispatch, so they
# cannot be marked override in the template.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  list(APPEND VARNO_WARNINGS -Wno-inconsistent-missing-override)
endif()

function(varno_target_options target)
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  target_compile_options(${target} PRIVATE ${VARNO_WARNINGS})
  # GCC's process-unique symbols (inline variables, statics of inline functions) would pin
  # every server module that defines one in memory for good: plain weak symbols instead,
  # so DllCanUnloadNow's answer is what decides.
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
  if(VARNO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(VARNO_SANITIZE OR VARNO_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined
                           -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  # Coverage feedback for libFuzzer in everything a fuzz target links; the targets
  # themselves add the fuzzer's main.
  if(VARNO_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# varno_add_library(name DIRS dir... [DEPENDS target...])
# A static library of every .cpp in the folders (not their subfolders), leaving out
# *Main.cpp, which hold the entry points of executables. A folder without sources yet
# gives an interface library, so that later work only adds files.
function(varno_add_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPENDS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(FILTER found EXCLUDE REGEX "Main\\.cpp$")
    list(APPEND sources ${found})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
    varno_target_options(${name})
    if(VARNO_SANITIZE OR VARNO_FUZZ)
      target_link_options(${name} INTERFACE -fsanitize=address,undefined)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()

# A program that loads server modules exports its symbols, so that a module's copies of the
# runtime (class table, loaded modules, error information, registry caches) bind to the
# program's: one runtime state per process, as modules and their host expect.
function(varno_loads_modules target)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
