# The wrappers desktop tests run in (scripts/with-desktop): a throwaway X, Pulse and D-Bus
# of their own, or the headless Wayland session with the library its compositor needs
# (name kelvane_screencopy_dmabuf_hint in DEPENDS with the Wayland one).
set(KELVANE_X11_DESKTOP ${PROJECT_SOURCE_DIR}/scripts/with-desktop)
set(KELVANE_WAYLAND_DESKTOP env KELVANE_SCREENCOPY_DMABUF_HINT=$<TARGET_FILE:kelvane_screencopy_dmabuf_hint>
  ${PROJECT_SOURCE_DIR}/scripts/with-desktop --wayland)

# kelvane_add_test(NAME <name> LABEL unit|desktop SOURCES ... [LIBS ...] [DEPENDS ...]
#                  [WRAPPER command ...] [TIMEOUT s])
# Builds one GoogleTest executable; DEPENDS names the programs and libraries it runs or
# loads, built before it. Unit tests register each case with CTest under the label. A
# desktop test runs whole inside WRAPPER (by default ${KELVANE_X11_DESKTOP}), so its cases
# share one desktop; desktop tests are left out of sanitizer builds. Without BUILD_TESTING
# nothing is built.
function(kelvane_add_test)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;DEPENDS;WRAPPER" ${ARGN})
  if(T_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kelvane_add_test(${T_NAME}): unknown arguments ${T_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(KELVANE_SANITIZE AND T_LABEL STREQUAL "desktop")
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    KELVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KELVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  if(T_LABEL STREQUAL "desktop")
    if(NOT T_WRAPPER)
      set(T_WRAPPER ${KELVANE_X11_DESKTOP})
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_WRAPPER} $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES LABELS desktop TIMEOUT ${T_TIMEOUT})
  elseif(T_WRAPPER)
    message(FATAL_ERROR "kelvane_add_test(${T_NAME}): a WRAPPER runs a whole desktop test, not unit cases")
  else()
    gtest_discover_tests(${T_NAME}
      TEST_PREFIX "${T_NAME}."
      DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()

# kelvane_add_fuzz(NAME <name> SOURCES ... [LIBS ...] [SECONDS s])
# A fuzz target defines LLVMFuzzerTestOneInput (the libFuzzer entry point). It is linked
# with fuzz/random_driver.cpp, which feeds it random and mutated inputs for a bounded
# time, so CTest runs it briefly in every build, sanitizer builds included; none is built
# without KELVANE_BUILD_FUZZERS.
function(kelvane_add_fuzz)
  if(NOT KELVANE_BUILD_FUZZERS)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 10)
  endif()
  add_executable(${F_NAME} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/random_driver.cpp)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  # A fixed seed makes every test run try the same inputs in the same order, so a failure
  # in CI can be run again as it was; run the target by hand without --seed to explore.
  add_test(NAME ${F_NAME} COMMAND ${F_NAME} --seconds=${F_SECONDS} --seed=1)
  set_tests_properties(${F_NAME} PROPERTIES LABELS "unit;fuzz" TIMEOUT 120)
endfunction()
