# The accessibility fallback of the cursor monitor: the probe logic joins the monitor's
# library, and the AT-SPI backend comes along for the program.
target_sources(kelvane_cursor_watch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/accessibility_probe.cpp)
if(TARGET kelvane_platform_atspi)
  target_link_libraries(kelvane_cursor_watch PUBLIC kelvane_platform_atspi)
endif()

kelvane_add_test(NAME accessibility_probe_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/accessibility_probe_test.cpp
  LIBS kelvane_cursor_watch)
