# The setup's icon, Quillometer.ico (32 x 32 and 16 x 16, 16 colours), made
# from the text pixel maps beside this file by the build machine's icomake.
#
# Include it from a CMakeLists.txt of the Windows tree:
#   include(${PROJECT_SOURCE_DIR}/res/icon/Icon.cmake)
# It defines the target quillometer_icon, which writes
# ${CMAKE_BINARY_DIR}/res/Quillometer.ico, and sets QM_ICON_DIR (the folder
# to give the resource compiler with -I) and QM_ICON_FILE (the icon itself,
# for a resource script's OBJECT_DEPENDS) in the including scope and its
# parent.

set(QM_ICON_DIR ${CMAKE_BINARY_DIR}/res)
set(QM_ICON_FILE ${QM_ICON_DIR}/Quillometer.ico)

if(NOT TARGET quillometer_icon)
  # The larger image comes first: shells that take the first image of a group
  # then show the detailed one.
  set(_qm_icon_maps
    ${CMAKE_CURRENT_LIST_DIR}/Quillometer-32.txt
    ${CMAKE_CURRENT_LIST_DIR}/Quillometer-16.txt)
  add_custom_command(
    OUTPUT ${QM_ICON_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_ICON_DIR}
    COMMAND ${QM_HOST_ICOMAKE} ${QM_ICON_FILE} ${_qm_icon_maps}
    DEPENDS ${_qm_icon_maps} host_tools ${QM_HOST_ICOMAKE}
    COMMENT "Drawing Quillometer.ico"
    VERBATIM)
  add_custom_target(quillometer_icon DEPENDS ${QM_ICON_FILE})
  unset(_qm_icon_maps)
endif()

if(NOT CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
  set(QM_ICON_DIR ${QM_ICON_DIR} PARENT_SCOPE)
  set(QM_ICON_FILE ${QM_ICON_FILE} PARENT_SCOPE)
endif()
