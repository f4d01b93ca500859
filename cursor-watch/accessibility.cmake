# The accessibility fallback of the cursor monitor: the probe logic joins the monitor's
# library, and the AT-SPI backend comes along for the program.
target_sources(kelvane_cursor_watch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/accessibility_probe.cpp)
target_link_libraries(kelvane_cursor_watch PUBLIC kelvane_linux_atspi)

kelvane_add_test(NAME accessibility_probe_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/accessibility_probe_test.cpp
  LIBS kelvane_cursor_watch)

find_package(nlohmann_json 3 REQUIRED)
kelvane_add_test(NAME accessibility_desktop_test LABEL desktop TIMEOUT 240
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/accessibility_desktop_test.cpp
  LIBS kelvane_test_support kelvane_cursor_watch nlohmann_json::nlohmann_json
  # The test also runs the monitor program itself.
  DEPENDS kelvane-cursor-watch)
