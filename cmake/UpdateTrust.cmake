# What a build trusts for updates: the publisher's public keys that update.exe and tdl check
# a release description against, and the update server that update.exe fetches from.
#
# A test build (TANDREL_TEST_BUILD, set by the presets of CMakePresets.json) trusts the
# committed test key, whose private half is committed too, and fetches from the loopback
# server of the end-to-end tests. Any other build is meant for users: it names the
# publisher's key (and, while keys are rotated, the next one) and a real update server,
# or it does not configure. Sets TANDREL_UPDATE_KEY_FILES (the current key's file, then
# the next key's) and UpdateServerHost.

set(tandrel_test_key_file "${PROJECT_SOURCE_DIR}/tests/keys/test_key.pub.hex")
set(tandrel_test_update_host "127.0.0.1:8087")

option(TANDREL_TEST_BUILD
  "A build for the tests: trusts only the committed test key and fetches updates from ${tandrel_test_update_host}" OFF)
set(TANDREL_UPDATE_PUBLIC_KEY "" CACHE FILEPATH
  "Public key (KEYFILE.pub.hex from tdl keygen) that releases are signed with; a build for users needs it")
set(TANDREL_UPDATE_NEXT_PUBLIC_KEY "" CACHE FILEPATH
  "The publisher's next public key while keys are rotated: releases signed with it are accepted too")
set(UpdateServerHost "" CACHE STRING
  "Update server of update.exe, host or host:port; a build for users needs a real one")

# The key of a key file as "EXPONENT MODULUS" in lower-case hexadecimal: one line, as
# tdl keygen writes it beside the private key.
function(tandrel_read_key_file file out_var)
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "No key file ${file}")
  endif()
  file(READ "${file}" key)
  string(STRIP "${key}" key)
  string(TOLOWER "${key}" key)
  if(NOT key MATCHES "^[0-9a-f]?[0-9a-f]?[0-9a-f]?[0-9a-f]?[0-9a-f]?[0-9a-f]?[0-9a-f]?[0-9a-f] [0-9a-f]+$")
    message(FATAL_ERROR "${file} is not a public key file written by tdl keygen (KEYFILE.pub.hex)")
  endif()
  set(${out_var} "${key}" PARENT_SCOPE)
endfunction()

# A host users can reach: a name or four decimal IPv4 parts, an optional port, and
# nothing that leads back to the machine itself. Other spellings of an address ("127.1",
# "0x7f.0.0.1", "2130706433") are refused, since the updater reads them as addresses too.
function(tandrel_check_update_host host)
  set(why "")
  if(NOT host MATCHES "^([A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?)(:([0-9]+))?$")
    set(why "it is not host or host:port")
  else()
    string(TOLOWER "${CMAKE_MATCH_1}" name)
    set(port "${CMAKE_MATCH_4}")
    if(NOT port STREQUAL "" AND (port EQUAL 0 OR port GREATER 65535))
      set(why "the port is not 1 to 65535")
    elseif(name STREQUAL "localhost" OR name MATCHES "\\.localhost$")
      set(why "it is the machine itself")
    elseif(name MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
      if(name MATCHES "^(127|0)\\.")
        set(why "it is the machine itself")
      endif()
    elseif(name MATCHES "^[0-9.]+$" OR name MATCHES "^(0x[0-9a-f]*|[0-9]+)(\\.(0x[0-9a-f]*|[0-9]+))*$")
      set(why "an address is written as four decimal parts")
    endif()
  endif()
  if(why)
    message(FATAL_ERROR "UpdateServerHost \"${host}\" cannot be the update server of a build for "
                        "users: ${why}. Name the publisher's update server (see README).")
  endif()
endfunction()

if(TANDREL_TEST_BUILD)
  # The test key and the loopback server only; a key or a host given on top would make a
  # build that looks like a release and is not one.
  if(TANDREL_UPDATE_PUBLIC_KEY OR TANDREL_UPDATE_NEXT_PUBLIC_KEY)
    message(FATAL_ERROR "A test build (TANDREL_TEST_BUILD) trusts only the test key: configure a "
                        "build for users, without TANDREL_TEST_BUILD, to compile in another key")
  endif()
  if(UpdateServerHost AND NOT UpdateServerHost STREQUAL tandrel_test_update_host)
    message(FATAL_ERROR "A test build (TANDREL_TEST_BUILD) fetches updates from "
                        "${tandrel_test_update_host} only: configure a build for users, without "
                        "TANDREL_TEST_BUILD, to name another update server")
  endif()
  set(UpdateServerHost "${tandrel_test_update_host}")
  set(TANDREL_UPDATE_KEY_FILES "${tandrel_test_key_file}")
  return()
endif()

if(NOT TANDREL_UPDATE_PUBLIC_KEY OR NOT UpdateServerHost)
  message(FATAL_ERROR "A build for users needs the publisher's key and update server: "
                      "-DTANDREL_UPDATE_PUBLIC_KEY=PATH/KEYFILE.pub.hex -DUpdateServerHost=HOST[:PORT] "
                      "(scripts/release.sh passes both). The tests need a test build: "
                      "cmake --preset debug-asan, windows, ... (see README)")
endif()
tandrel_read_key_file("${tandrel_test_key_file}" test_key)
tandrel_read_key_file("${TANDREL_UPDATE_PUBLIC_KEY}" current_key)
if(current_key STREQUAL test_key)
  message(FATAL_ERROR "TANDREL_UPDATE_PUBLIC_KEY is the test key, whose private half is public")
endif()
set(TANDREL_UPDATE_KEY_FILES "${TANDREL_UPDATE_PUBLIC_KEY}")
if(TANDREL_UPDATE_NEXT_PUBLIC_KEY)
  tandrel_read_key_file("${TANDREL_UPDATE_NEXT_PUBLIC_KEY}" next_key)
  if(next_key STREQUAL test_key)
    message(FATAL_ERROR "TANDREL_UPDATE_NEXT_PUBLIC_KEY is the test key, whose private half is public")
  endif()
  if(next_key STREQUAL current_key)
    message(FATAL_ERROR "TANDREL_UPDATE_NEXT_PUBLIC_KEY is the current key again")
  endif()
  list(APPEND TANDREL_UPDATE_KEY_FILES "${TANDREL_UPDATE_NEXT_PUBLIC_KEY}")
endif()
tandrel_check_update_host("${UpdateServerHost}")
