# Project-wide compile settings, applied per target so third-party code keeps its own.

if(ORBELLE_SANITIZE)
  set(_san "")
  foreach(s IN LISTS ORBELLE_SANITIZE)
    list(APPEND _san "-fsanitize=${s}")
  endforeach()
  add_compile_options(${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(${_san})
endif()
if(ORBELLE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Warnings are errors for everything we write.
function(orbelle_target_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(ORBELLE_WINDOWS)
    target_compile_definitions(${target} PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  endif()
endfunction()

# orbelle_library(name SOURCES ... [DEPS ...])
function(orbelle_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  orbelle_target_settings(${name})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
endfunction()

# orbelle_test(name SOURCES ... DEPS ... [LABELS ...] [DISPLAY])
# One test binary is one CTest test (one process per binary, also under Wine).
function(orbelle_test name)
  cmake_parse_arguments(A "DISPLAY" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  orbelle_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${A_DEPS} orbelle_test_main)
  if(ORBELLE_WINDOWS)
    # Named after the .exe so the run shows which Windows programs ran under Wine.
    set(test_name ${name}.exe)
    if(A_DISPLAY)
      add_test(NAME ${test_name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run --display $<TARGET_FILE:${name}>)
    else()
      add_test(NAME ${test_name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run $<TARGET_FILE:${name}>)
    endif()
  else()
    set(test_name ${name})
    add_test(NAME ${test_name} COMMAND ${name})
  endif()
  set_tests_properties(${test_name} PROPERTIES TIMEOUT 300 LABELS "${A_LABELS}")
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt (module folders
# of dlls/, tools/, tests/ and fuzz/).
function(orbelle_add_subdirectories)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir IN LISTS dirs)
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# orbelle_def_file(var name): the module-definition file of a DLL for the target's
# architecture: <name>.x86.def (stdcall-decorated names) or <name>.x64.def (plain names).
function(orbelle_def_file var name)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(${var} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.x64.def PARENT_SCOPE)
  else()
    set(${var} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.x86.def PARENT_SCOPE)
  endif()
endfunction()

# orbelle_version_resource(target NAME DESCRIPTION): gives a DLL of the product a version
# resource with the product's version (ORBELLE_VERSION), its file name NAME.dll and the
# one-line DESCRIPTION.
function(orbelle_version_resource target name description)
  set(ORBELLE_RC_NAME ${name})
  set(ORBELLE_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
