# The Windows program: the Win32 backend, the portable core and the
# resources, linked statically so that it needs nothing beyond the system's
# own DLLs, small enough for the six-digit own-size field.
enable_language(RC)

file(GLOB QV_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/win32_*.cpp)
add_executable(quorvane WIN32 ${QV_WIN32_SOURCES} $<TARGET_OBJECTS:qv_core>
  ${CMAKE_SOURCE_DIR}/resources/quorvane.rc)
target_include_directories(quorvane PRIVATE ${CMAKE_SOURCE_DIR})
# The ANSI (*A) calls throughout. Size matters more than speed here: the
# program idles or waits on timers.
target_compile_definitions(quorvane PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600
  WINVER=0x0600)
# Nothing of the C++ library: the program is one thread (a static's first use
# needs no lock) and asks no type of an object. The C driver links it, so a
# later use of the C++ library (operator new, a thrown exception) fails the
# build rather than bringing it in unseen: that is what once tripled the size.
target_compile_options(quorvane PRIVATE -Os -fno-threadsafe-statics -fno-rtti)
target_compile_options(qv_core PRIVATE -Os -fno-threadsafe-statics -fno-rtti)
set_target_properties(quorvane PROPERTIES LINKER_LANGUAGE C)

set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/quorvane.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/quorvane.manifest;${CMAKE_SOURCE_DIR}/resources/quorvane.ico;${CMAKE_SOURCE_DIR}/resources/strip.bmp")
target_include_directories(quorvane PRIVATE ${CMAKE_SOURCE_DIR}/resources)
target_link_options(quorvane PRIVATE -static -static-libgcc -s -Os
  -Wl,--gc-sections)
target_link_libraries(quorvane PRIVATE user32 gdi32 comdlg32 shell32 kernel32 winmm)
qv_stamp(quorvane)
