# One place for the warning flags every target of the project uses.
function(tandrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
  # GCC 12 reports bogus overlaps inside std::string's operator+ at -O3 (GCC bug 105329).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(TANDREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Windows executables run on machines that have none of the MinGW runtime DLLs. Native
# ones keep the C library shared (its name service needs it) and, on request, link the
# rest in at a fixed address, so that starting them binds and relocates next to nothing.
function(tandrel_static_exe target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  elseif(TANDREL_STATIC_RUNTIME)
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -no-pie)
  endif()
endfunction()
