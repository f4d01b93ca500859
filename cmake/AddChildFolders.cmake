# Adds every direct child folder of the current folder that has a CMakeLists.txt, so
# areas owned by different people join the build without editing a shared list.
# Targets may refer to each other across areas in any order. A tests/ folder joins only
# when BUILD_TESTING is on.
file(GLOB _kelvane_children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
foreach(_kelvane_child IN LISTS _kelvane_children)
  get_filename_component(_kelvane_child_name ${_kelvane_child} NAME)
  if(_kelvane_child_name STREQUAL "tests" AND NOT BUILD_TESTING)
    continue()
  endif()
  if(IS_DIRECTORY ${_kelvane_child} AND EXISTS ${_kelvane_child}/CMakeLists.txt)
    add_subdirectory(${_kelvane_child})
  endif()
endforeach()
