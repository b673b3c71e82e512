# GoogleTest and GoogleMock from the Debian googletest sources, built with the preset's
# own compiler (so also for mingw-w64).
set(ORBELLE_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "googletest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
if(ORBELLE_WINDOWS)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
endif()
add_subdirectory(${ORBELLE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
