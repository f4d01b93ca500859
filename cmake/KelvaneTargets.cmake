# kelvane_add_test(NAME <name> LABEL unit|desktop [WAYLAND] SOURCES ... [LIBS ...] [TIMEOUT s]
#                  [DESKTOP_OPTIONS ...])
# Builds one GoogleTest executable and registers its cases with CTest under the label.
# Desktop tests run inside scripts/with-desktop, so they get a throwaway X, Pulse and
# D-Bus of their own (with WAYLAND, the headless Wayland session instead of X); they
# are left out of sanitizer builds; DESKTOP_OPTIONS go to scripts/with-desktop. Without
# BUILD_TESTING nothing is built.
function(kelvane_add_test)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "WAYLAND" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;DESKTOP_OPTIONS" ${ARGN})
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
  if(T_LABEL STREQUAL "desktop")
    # The whole executable runs inside one throwaway desktop; its cases share it.
    if(T_WAYLAND)
      add_dependencies(${T_NAME} kelvane_screencopy_dmabuf_hint)
      add_test(NAME ${T_NAME} COMMAND env
        KELVANE_SCREENCOPY_DMABUF_HINT=$<TARGET_FILE:kelvane_screencopy_dmabuf_hint>
        ${PROJECT_SOURCE_DIR}/scripts/with-desktop --wayland ${T_DESKTOP_OPTIONS} $<TARGET_FILE:${T_NAME}>)
    else()
      add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-desktop ${T_DESKTOP_OPTIONS}
        $<TARGET_FILE:${T_NAME}>)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS desktop TIMEOUT ${T_TIMEOUT})
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
  add_test(NAME ${F_NAME} COMMAND ${F_NAME} --seconds=${F_SECONDS})
  set_tests_properties(${F_NAME} PROPERTIES LABELS "unit;fuzz" TIMEOUT 120)
endfunction()
