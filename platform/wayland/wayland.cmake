# The Wayland playback routes: the protocol code comes from the packaged
# protocol files through wayland-scanner at build time.
pkg_check_modules(WAYLAND REQUIRED IMPORTED_TARGET wayland-client gio-2.0)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
pkg_get_variable(PLASMA_PROTOCOLS_DIR plasma-wayland-protocols pkgdatadir)
if(NOT PLASMA_PROTOCOLS_DIR)
  set(PLASMA_PROTOCOLS_DIR /usr/share/plasma-wayland-protocols)
endif()
set(QV_WL_GEN ${CMAKE_BINARY_DIR}/wayland-protocols)
set(QV_WL_PROTOCOL_SOURCES)
foreach(proto fake-input)
  set(xml ${PLASMA_PROTOCOLS_DIR}/${proto}.xml)
  add_custom_command(OUTPUT ${QV_WL_GEN}/${proto}-client-protocol.h ${QV_WL_GEN}/${proto}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QV_WL_GEN}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${QV_WL_GEN}/${proto}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${QV_WL_GEN}/${proto}-protocol.c
    DEPENDS ${xml} VERBATIM)
  list(APPEND QV_WL_PROTOCOL_SOURCES ${QV_WL_GEN}/${proto}-client-protocol.h ${QV_WL_GEN}/${proto}-protocol.c)
endforeach()

add_library(qv_wl_routes OBJECT
  ${CMAKE_SOURCE_DIR}/platform/wayland/wl_mutter.cpp
  ${CMAKE_SOURCE_DIR}/platform/wayland/wl_kwin.cpp
  ${CMAKE_SOURCE_DIR}/platform/wayland/wl_kde_entry.cpp
  ${QV_WL_PROTOCOL_SOURCES})
target_include_directories(qv_wl_routes PUBLIC ${CMAKE_SOURCE_DIR} ${QV_WL_GEN})
target_link_libraries(qv_wl_routes PUBLIC PkgConfig::WAYLAND)

# Drives one route directly: the route tests and their timings.
add_executable(qv_route_probe ${CMAKE_SOURCE_DIR}/tests/e2e/wayland/route_probe.cpp
  $<TARGET_OBJECTS:qv_wl_routes>)
target_link_libraries(qv_route_probe PRIVATE qv_wl_routes)
