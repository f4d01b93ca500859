# Adds every direct child folder of the current folder that has a CMakeLists.txt, so
# areas owned by different people join the build without editing a shared list.
# Targets may refer to each other across areas in any order.
file(GLOB _kelvane_children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
foreach(_kelvane_child IN LISTS _kelvane_children)
  if(IS_DIRECTORY ${_kelvane_child} AND EXISTS ${_kelvane_child}/CMakeLists.txt)
    add_subdirectory(${_kelvane_child})
  endif()
endforeach()
