# Client code for the Wayland protocols the backend speaks, made by
# wayland-scanner at build time: xdg-output from the system's
# wayland-protocols, the two virtual-device protocols from this folder
# (Debian 12 packages neither).
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
pkg_get_variable(QV_WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
if(NOT QV_WAYLAND_PROTOCOLS_DIR)
  set(QV_WAYLAND_PROTOCOLS_DIR /usr/share/wayland-protocols)
endif()
set(QV_WAYLAND_PROTOCOL_DIR ${CMAKE_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${QV_WAYLAND_PROTOCOL_DIR})
set(QV_WAYLAND_PROTOCOL_SOURCES "")
foreach(xml
    ${QV_WAYLAND_PROTOCOLS_DIR}/unstable/xdg-output/xdg-output-unstable-v1.xml
    ${CMAKE_CURRENT_LIST_DIR}/protocols/virtual-keyboard-unstable-v1.xml
    ${CMAKE_CURRENT_LIST_DIR}/protocols/wlr-virtual-pointer-unstable-v1.xml)
  get_filename_component(name ${xml} NAME_WE)
  set(header ${QV_WAYLAND_PROTOCOL_DIR}/${name}-client-protocol.h)
  set(code ${QV_WAYLAND_PROTOCOL_DIR}/${name}-protocol.c)
  add_custom_command(OUTPUT ${header} ${code}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml} VERBATIM)
  list(APPEND QV_WAYLAND_PROTOCOL_SOURCES ${header} ${code})
endforeach()
