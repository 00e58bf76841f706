# Writes the object numbers of a C++ header as a Python module, so that scripts driving
# the program use the numbers the program was built with:
#   cmake -DINPUT=app/object_numbers.h -DOUTPUT=object_numbers.py -P object_numbers_py.cmake
# Each `inline constexpr ui::SpaceId kName{N};` becomes `kName = N` under a class named
# by its number space (WindowId.kMainWindow), and flat as well (kMainWindow).
cmake_minimum_required(VERSION 3.25)
file(STRINGS "${INPUT}" lines REGEX "^inline constexpr ui::[A-Za-z]+ k[A-Za-z0-9]+\\{-?[0-9]+\\};")
set(spaces "")
set(flat "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "ui::([A-Za-z]+) (k[A-Za-z0-9]+)\\{(-?[0-9]+)\\}" match "${line}")
  set(space "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  set(value "${CMAKE_MATCH_3}")
  if(NOT space IN_LIST spaces)
    list(APPEND spaces "${space}")
    set(members_${space} "")
  endif()
  string(APPEND members_${space} "    ${name} = ${value}\n")
  string(APPEND flat "${name} = ${value}\n")
endforeach()
get_filename_component(source_name "${INPUT}" NAME)
set(text "# Generated from ${source_name} by the build; do not edit.\n")
foreach(space IN LISTS spaces)
  string(APPEND text "\n\nclass ${space}:\n${members_${space}}")
endforeach()
string(APPEND text "\n\n${flat}")
file(WRITE "${OUTPUT}.tmp" "${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
