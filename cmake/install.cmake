# Installing on a Linux desktop: the two programs, the menu entry and icons,
# the .rec file type, the man pages and the documentation, and a Debian
# package of all of it built by CPack.
include(GNUInstallDirs)

# The README as a page the program can open from its Website item; Debian's
# python3 carries the Markdown module even where another python3 comes first.
find_program(QV_DOC_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QV_DOC_PYTHON)
  set(QV_DOC_PYTHON ${Python3_EXECUTABLE})
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/README.html
  COMMAND ${QV_DOC_PYTHON} ${CMAKE_SOURCE_DIR}/tools/readme_html.py
          ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/README.html
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/demo-plot.png ${CMAKE_BINARY_DIR}/docs/
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/tools/readme_html.py
  VERBATIM)
# Man pages go in compressed, as Debian expects them.
set(QV_MAN_PAGES)
foreach(page quorvane quorvane-rec)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/resources/${page}.1 > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/${page}.1)
  list(APPEND QV_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/cmake/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/debian/changelog)
add_custom_target(qv_docs ALL
  DEPENDS ${CMAKE_BINARY_DIR}/README.html ${QV_MAN_PAGES} ${CMAKE_BINARY_DIR}/changelog.gz)

install(TARGETS quorvane quorvane-rec RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The menu entry names the program by its installed path, which KWin needs
# before it lets the program play input (its fake-input protocol is offered
# only to the program an entry names by absolute path). The path is taken
# when installing, so another --prefix, or the package's /usr, is the one
# written.
install(CODE "
  set(qv_exe \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorvane\")
  if(qv_exe MATCHES \" \")
    set(qv_exe \"\\\"\${qv_exe}\\\"\")
  endif()
  file(READ \"${CMAKE_SOURCE_DIR}/resources/quorvane.desktop\" qv_entry)
  string(REPLACE \"Exec=quorvane \" \"Exec=\${qv_exe} \" qv_entry \"\${qv_entry}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/installed-entry/quorvane.desktop\" \"\${qv_entry}\")
  file(INSTALL \"${CMAKE_BINARY_DIR}/installed-entry/quorvane.desktop\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
")
# The GNOME Shell extension that tells the program where the pointer is on
# GNOME's Wayland session, in its two forms (43-44, 45 and later).
install(DIRECTORY resources/gnome-shell/ DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions)
install(FILES resources/quorvane-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME quorvane.xml)
foreach(size 16 32 48 128)
  install(FILES resources/quorvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorvane.png)
endforeach()
install(FILES ${QV_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(QV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorvane)
install(FILES ${CMAKE_BINARY_DIR}/README.html README.md rectool/FORMAT.md
        DESTINATION ${QV_DOC_DIR})
install(FILES docs/demo-plot.png DESTINATION ${QV_DOC_DIR}/docs)
install(FILES resources/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${QV_DOC_DIR})

# The Debian package.
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION 1.50)
set(CPACK_PACKAGE_CONTACT "Quorvane developers <dev@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record mouse and keyboard activity and play it back")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "One small always-on-top toolbar records what the mouse and keyboard do\nand plays it back, once, repeatedly or fast, from hotkeys; recordings are\nraw files of the .rec type, and Compile writes a self-playing copy.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Users' menus and file managers learn of the entry and the .rec type by
# these scripts.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/postinst
    ${CMAKE_SOURCE_DIR}/cmake/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
