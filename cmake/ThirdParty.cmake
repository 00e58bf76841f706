# Third-party libraries, all from Debian's packages.
#   native:  GoogleTest, Google Benchmark, zlib and libpng as installed -dev packages
#   Windows: GoogleTest compiled from /usr/src/googletest, zlib from libz-mingw-w64-dev,
#            libpng compiled from Debian's source package fetched by scripts/setup.sh

if(WIN32)
  find_library(TANDREL_MINGW_ZLIB NAMES libz.a z REQUIRED)
  find_path(TANDREL_MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(ZLIB::ZLIB STATIC IMPORTED GLOBAL)
  set_target_properties(ZLIB::ZLIB PROPERTIES
    IMPORTED_LOCATION "${TANDREL_MINGW_ZLIB}"
    INTERFACE_INCLUDE_DIRECTORIES "${TANDREL_MINGW_ZLIB_INCLUDE}")
  include(LibpngFromSource)
else()
  find_package(ZLIB REQUIRED)
  find_package(PNG REQUIRED)
endif()

if(TANDREL_BUILD_TESTS)
  if(WIN32)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

if(TANDREL_BUILD_BENCHMARKS AND NOT WIN32)
  find_package(benchmark REQUIRED)
endif()
