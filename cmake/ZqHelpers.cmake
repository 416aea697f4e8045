include_guard(GLOBAL)

# zq_add_gtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#              [TIMEOUT <seconds>] [RESOURCE_LOCK <names...>] [XVFB]
#              [PRIVATE_NET] [FIXTURES_REQUIRED <fixture>] [ENVIRONMENT <NAME=value>])
# Builds one GoogleTest executable and registers its tests with CTest. The
# test main (tests/support) points the install and home directories at places
# that do not exist, so a test that forgets to set its own never touches the
# real ones. RESOURCE_LOCK keeps tests that share something fixed (a port)
# from running at the same time under ctest -j. XVFB runs each test inside
# `xvfb-run -a`, for tests that start programs needing a display;
# PRIVATE_NET inside a network namespace of its own (scripts/netns-run).
# FIXTURES_REQUIRED names a CTest fixture (a setup test that makes files the
# tests share, once per run), ENVIRONMENT one variable set for the tests.
function(zq_add_gtest name)
  cmake_parse_arguments(ARG "XVFB;PRIVATE_NET" "TIMEOUT" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;FIXTURES_REQUIRED;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zq_test_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(launcher "")
  if(ARG_PRIVATE_NET)
    list(APPEND launcher "${PROJECT_SOURCE_DIR}/scripts/netns-run")
  endif()
  if(ARG_XVFB)
    list(APPEND launcher xvfb-run -a)
  endif()
  if(launcher)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${launcher})
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  if(ARG_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  if(ARG_FIXTURES_REQUIRED)
    list(APPEND props FIXTURES_REQUIRED "${ARG_FIXTURES_REQUIRED}")
  endif()
  if(ARG_ENVIRONMENT)
    list(APPEND props ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
