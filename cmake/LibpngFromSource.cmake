# Builds libpng for the Windows target from the unpacked Debian source package.
# scripts/setup.sh unpacks it into the user's cache and records where.
set(_png_hint "$ENV{HOME}/.cache/tandrel/libpng-source-dir")
if(DEFINED ENV{TANDREL_CACHE})
  set(_png_hint "$ENV{TANDREL_CACHE}/libpng-source-dir")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(_png_hint "$ENV{XDG_CACHE_HOME}/tandrel/libpng-source-dir")
endif()
if(NOT TANDREL_LIBPNG_SOURCE AND EXISTS "${_png_hint}")
  file(READ "${_png_hint}" _png_dir)
  string(STRIP "${_png_dir}" _png_dir)
  set(TANDREL_LIBPNG_SOURCE "${_png_dir}" CACHE PATH "Unpacked libpng source (Debian's libpng1.6)")
endif()
if(NOT EXISTS "${TANDREL_LIBPNG_SOURCE}/png.h")
  message(FATAL_ERROR "libpng source not found; run scripts/setup.sh first (or set TANDREL_LIBPNG_SOURCE)")
endif()

set(_png_sources png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c pngrio.c pngrtran.c
    pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c)
list(TRANSFORM _png_sources PREPEND "${TANDREL_LIBPNG_SOURCE}/")

# The prebuilt configuration header is the one libpng ships for ordinary builds.
set(_png_conf_dir "${CMAKE_BINARY_DIR}/libpng-conf")
configure_file("${TANDREL_LIBPNG_SOURCE}/scripts/pnglibconf.h.prebuilt"
               "${_png_conf_dir}/pnglibconf.h" COPYONLY)

add_library(png_static STATIC ${_png_sources})
target_include_directories(png_static SYSTEM PUBLIC "${TANDREL_LIBPNG_SOURCE}" "${_png_conf_dir}")
# No SIMD paths: the prebuilt configuration leaves them off, and the splash is small.
target_compile_definitions(png_static PRIVATE PNG_ARM_NEON_OPT=0 PNG_INTEL_SSE_OPT=0)
target_compile_options(png_static PRIVATE -w)
target_link_libraries(png_static PUBLIC ZLIB::ZLIB)
add_library(PNG::PNG ALIAS png_static)
