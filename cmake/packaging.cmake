# Install rules and packages.  On Windows: askname.exe with LICENSE.txt and
# README.txt, in a zip.  Elsewhere: the program, its manual page, the licence
# in Debian's copyright format and a changelog, compressed as Debian wants.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME askname)
set(CPACK_PACKAGE_VENDOR "the askname developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(manual ${PROJECT_SOURCE_DIR}/man/askname.1)
set(changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
set(readme ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manual} ${changelog} ${readme})

if(WIN32)
  install(TARGETS askname RUNTIME DESTINATION .)
  # A Windows user has no man: README.txt holds the manual page as text, after
  # what only Windows users need.
  find_program(ASKNAME_GROFF groff)
  if(ASKNAME_GROFF)
    execute_process(
      COMMAND ${ASKNAME_GROFF} -man -Tutf8 -P-cbu -rLL=72n -rHY=0 -dAD=l ${manual}
      OUTPUT_VARIABLE manual_text
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "askname: groff could not format ${manual}")
    endif()
  else()
    message(STATUS "askname: groff not found, so README.txt names the manual page instead of holding it")
    set(manual_text "The manual page is man/askname.1 in askname's source.")
  endif()
  # Notepad of old shows a text with bare line feeds as one long line.
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  file(READ ${readme} readme_text)
  string(CONFIGURE "${readme_text}" readme_text @ONLY)
  string(REPLACE "\n" "\r\n" readme_text "${readme_text}")
  file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${readme_text}")
  install(FILES ${PROJECT_BINARY_DIR}/LICENSE.txt ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_GENERATOR ZIP)
  include(CPack)
  return()
endif()

install(TARGETS askname RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Compressed at configure time, so that installing and packaging need no
# build step of their own; gzip -n leaves out the name and time of the file,
# so a package built twice is the same byte for byte.
find_program(ASKNAME_GZIP gzip)
if(ASKNAME_GZIP)
  foreach(file IN ITEMS manual changelog)
    get_filename_component(name ${${file}} NAME)
    execute_process(
      COMMAND ${ASKNAME_GZIP} -9n -c ${${file}}
      OUTPUT_FILE ${PROJECT_BINARY_DIR}/${name}.gz
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "askname: gzip could not compress ${${file}}")
    endif()
    set(${file} ${PROJECT_BINARY_DIR}/${name}.gz)
  endforeach()
endif()
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^.*\n(Permission)" "\\1" licence "${licence}")
string(STRIP "${licence}" licence)
string(REPLACE "\n" "\n " licence "${licence}")
string(REPLACE "\n \n" "\n .\n" licence "${licence}")
file(
  WRITE ${PROJECT_BINARY_DIR}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: askname

Files: *
Copyright: 2026 the askname developers
License: Expat
 ${licence}
")
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(askname_links_static)
  # Only lintian reads this, so only the .deb carries it: a plain install
  # leaves it out, and cpack adds it for DEB alone.
  install(
    FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME askname
    CONFIGURATIONS Release MinSizeRel
    COMPONENT lintian
    EXCLUDE_FROM_ALL)
  file(WRITE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake "if(CPACK_GENERATOR STREQUAL \"DEB\")
  set(CPACK_INSTALL_CMAKE_PROJECTS \"${PROJECT_BINARY_DIR};askname;Unspecified;/;${PROJECT_BINARY_DIR};askname;lintian;/\")
endif()
")
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
endif()

set(CPACK_PACKAGE_CONTACT "askname developers <askname@example.org>")
set(CPACK_PACKAGE_DESCRIPTION
    "askname asks for your name (one word) on the console, shows it back, and
waits for an answer, typed with Enter, before it ends. See askname(1).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR TGZ)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian's name for the architecture, where the processor tells it: dpkg
# would name the build machine's in a cross-build, and the tarballs of two
# architectures need names of their own.  Elsewhere dpkg names it.
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" architecture)
if(architecture MATCHES "^(x86_64|amd64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
elseif(architecture MATCHES "^(aarch64|arm64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
elseif(architecture MATCHES "^(armv7l?|armhf)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
endif()
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(architecture ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${architecture})
include(CPack)
