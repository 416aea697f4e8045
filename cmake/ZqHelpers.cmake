include_guard(GLOBAL)

# zq_add_gtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#              [TIMEOUT <seconds>])
# Builds one GoogleTest executable and registers its tests with CTest. The
# test main (tests/support) points the install and home directories at places
# that do not exist, so a test that forgets to set its own never touches the
# real ones.
function(zq_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zq_test_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
