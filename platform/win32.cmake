# The Windows program: the Win32 backend, the portable core and the
# resources, linked statically so that it needs nothing beyond the system's
# own DLLs, small enough for the six-digit own-size field.
enable_language(RC)

file(GLOB QV_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32_*.cpp)
add_executable(quorvane WIN32 ${QV_WIN32_SOURCES} $<TARGET_OBJECTS:qv_core>
  ${CMAKE_SOURCE_DIR}/resources/quorvane.rc)
target_include_directories(quorvane PRIVATE ${CMAKE_SOURCE_DIR})
# The ANSI entry points throughout; the entry routine is ours, not the CRT's
# WinMain, so the command line is split the way the core expects.
target_compile_definitions(quorvane PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600
  WINVER=0x0600)
target_compile_options(quorvane PRIVATE -Os)
target_compile_options(qv_core PRIVATE -Os)

# Art that is not in the tree yet is stood in for by plain pictures of the
# right size and format; the real files win as soon as they exist.
set(QV_ART_DEPENDS ${CMAKE_SOURCE_DIR}/resources/quorvane.manifest)
set(QV_PLACEHOLDER_DIR ${CMAKE_BINARY_DIR}/placeholder-art)
foreach(art strip.bmp quorvane.ico)
  if(EXISTS ${CMAKE_SOURCE_DIR}/resources/${art})
    list(APPEND QV_ART_DEPENDS ${CMAKE_SOURCE_DIR}/resources/${art})
  else()
    string(REGEX REPLACE "[.].*" "" kind ${art})
    if(kind STREQUAL "quorvane")
      set(kind icon)
    endif()
    message(STATUS "resources/${art} missing: using a placeholder")
    execute_process(COMMAND ${Python3_EXECUTABLE}
      ${CMAKE_SOURCE_DIR}/resources/win32_placeholder_art.py ${QV_PLACEHOLDER_DIR} ${kind}
      COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND QV_ART_DEPENDS ${QV_PLACEHOLDER_DIR}/${art})
  endif()
endforeach()
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/quorvane.rc PROPERTIES
  OBJECT_DEPENDS "${QV_ART_DEPENDS}")
target_include_directories(quorvane PRIVATE ${CMAKE_SOURCE_DIR}/resources ${QV_PLACEHOLDER_DIR})
target_link_options(quorvane PRIVATE -static -static-libgcc -static-libstdc++ -s -Os
  -Wl,--gc-sections)
target_link_libraries(quorvane PRIVATE user32 gdi32 comdlg32 shell32 kernel32)
qv_stamp(quorvane)
