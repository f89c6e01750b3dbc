# Install rules and packages; what each holds: README.md#install and
# docs/DEVELOPMENT.md#windows.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME askname)
set(CPACK_PACKAGE_VENDOR "${copyright_holder}")
set(CPACK_PACKAGE_CONTACT "askname developers <askname@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

set(news ${PROJECT_SOURCE_DIR}/NEWS.md)
set(readme ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${news} ${readme})
# NEWS.md has a section a release, newest first: "## VERSION (DATE)", then
# items "- ...".  Debian's changelog is made of the same sections, and the
# manual page is dated by the top one.
file(READ ${news} debian_changelog)
string(REGEX MATCH "\n## ([^ ]+) \\([A-Z][a-z][a-z], ([^)]+)\\)" top "${debian_changelog}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "askname: NEWS.md has no entry for ${PROJECT_VERSION} at its top")
endif()
# The manual page's date as groff and mandoc both read it, YYYY-MM-DD.
string(REGEX MATCH "^([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+)$" day "${CMAKE_MATCH_2}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 101") # 1 to 12, as 101 to 112: two digits after the first
string(SUBSTRING ${month} 1 2 month)
set(release_date ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})
configure_file(man/askname.1.in askname.1 @ONLY)
set(manual ${PROJECT_BINARY_DIR}/askname.1)
string(REGEX REPLACE "^# [^\n]*\n\n" "" debian_changelog "${debian_changelog}")
string(REPLACE "\n  " "\n    " debian_changelog "${debian_changelog}")
string(REGEX REPLACE "(^|\n)- " "\\1  * " debian_changelog "${debian_changelog}")
string(REGEX REPLACE "## ([^ ]+) \\(([^)]+)\\)\n\n(( [^\n]*\n)*)"
       "askname (\\1) unstable; urgency=medium\n\n\\3\n -- ${CPACK_PACKAGE_CONTACT}  \\2 12:00:00 +0000\n"
       debian_changelog "${debian_changelog}")

if(WIN32)
  install(TARGETS askname RUNTIME DESTINATION .)
  # A Windows user has no man: README.txt holds the manual page as it speaks
  # of Windows, after how to run askname there.
  find_program(ASKNAME_GROFF groff DOC "groff, which formats the manual page into README.txt")
  if(ASKNAME_GROFF)
    execute_process(
      COMMAND ${ASKNAME_GROFF} -man -Tutf8 -P-cbou -rLL=72n -rHY=0 -dAD=l -rwindows=1 ${manual}
      OUTPUT_VARIABLE manual_text COMMAND_ERROR_IS_FATAL ANY)
  else()
    message(STATUS "askname: groff not found, so README.txt names the manual page instead of holding it")
    set(manual_text "The manual page is man/askname.1.in in askname's source.")
  endif()
  set(texts LICENSE.txt ${PROJECT_SOURCE_DIR}/LICENSE NEWS.txt ${news})
  # The notice of the C runtime that MinGW-w64 links into every program, as
  # its licence asks: here, where Debian and Ubuntu keep it.
  if(MINGW)
    find_file(
      ASKNAME_RUNTIME_NOTICE copyright PATHS /usr/share/doc/mingw-w64-common NO_DEFAULT_PATH
      DOC "The licence of MinGW-w64's runtime, which the zip carries as NOTICE-mingw-w64.txt")
    if(NOT ASKNAME_RUNTIME_NOTICE)
      message(FATAL_ERROR "askname: set ASKNAME_RUNTIME_NOTICE to the licence of MinGW-w64's runtime")
    endif()
    list(APPEND texts NOTICE-mingw-w64.txt ${ASKNAME_RUNTIME_NOTICE})
  endif()
  file(READ ${readme} readme_text)
  string(CONFIGURE "${readme_text}" readme_text @ONLY)
  file(WRITE ${PROJECT_BINARY_DIR}/README.in "${readme_text}")
  list(APPEND texts README.txt ${PROJECT_BINARY_DIR}/README.in)
  # Notepad of old shows a text with bare line feeds as one long line, and
  # before Windows 10 1903 takes UTF-8 without a byte-order mark for the
  # ANSI code page: a text with any byte past ASCII gets one.
  while(texts)
    list(POP_FRONT texts name source)
    file(READ ${source} text)
    set(bom "")
    if(text MATCHES "[^\t\n\r -~]")
      string(ASCII 239 187 191 bom)
    endif()
    string(REGEX REPLACE "\r?\n" "\r\n" text "${bom}${text}")
    file(WRITE ${PROJECT_BINARY_DIR}/${name} "${text}")
    install(FILES ${PROJECT_BINARY_DIR}/${name} DESTINATION .)
  endwhile()
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_GENERATOR ZIP)
  include(CPack)
  return()
endif()

# The modes Debian wants of directories, whatever the umask of the builder.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                               WORLD_READ WORLD_EXECUTE)
install(TARGETS askname RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped askname loses the compilers' notes in .comment too, as dh_strip does it.
set(bindir ${CMAKE_INSTALL_BINDIR})
if(NOT IS_ABSOLUTE ${bindir})
  set(bindir \${CMAKE_INSTALL_PREFIX}/${bindir})
endif()
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\$ENV{DESTDIR}${bindir}/askname\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${news} DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Fedora and Arch want it in share/licenses/askname; Debian, whose copyright
# file holds it, and our .deb, not at all.
set(ASKNAME_INSTALL_LICENSEDIR ${CMAKE_INSTALL_DOCDIR} CACHE STRING "Where LICENSE is installed; empty: nowhere")
if(ASKNAME_INSTALL_LICENSEDIR)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${ASKNAME_INSTALL_LICENSEDIR} COMPONENT licence)
endif()

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
Copyright: ${copyright_years} ${copyright_holder}
License: Expat
 ${licence}
")
file(WRITE ${PROJECT_BINARY_DIR}/changelog "${debian_changelog}")
file(WRITE ${PROJECT_BINARY_DIR}/lintian-overrides
     "# Built with FORTIFY: the one call of askname's own that it can check, at level 3, is a memcpy,
# which lintian does not count (askname's docs/DEVELOPMENT.md#hardening says more).
askname: hardening-no-fortify-functions [usr/bin/askname]\n")

# Compressed at configure time, so that installing and packaging need no
# build step of their own; gzip -n leaves out the name and time of the file,
# so a package built twice is the same byte for byte.
find_program(ASKNAME_GZIP gzip REQUIRED DOC "gzip, which compresses the manual page and Debian's changelog")
foreach(name IN ITEMS askname.1 changelog)
  execute_process(
    COMMAND ${ASKNAME_GZIP} -9n -c ${PROJECT_BINARY_DIR}/${name}
    OUTPUT_FILE ${PROJECT_BINARY_DIR}/${name}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES ${manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Only the .deb carries these: cpack adds the component for DEB alone.
install(
  FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT deb
  EXCLUDE_FROM_ALL)
install(
  FILES ${PROJECT_BINARY_DIR}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME askname
  COMPONENT deb
  EXCLUDE_FROM_ALL)
file(WRITE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake "if(CPACK_GENERATOR STREQUAL \"DEB\")
  set(CPACK_INSTALL_CMAKE_PROJECTS \"${PROJECT_BINARY_DIR};askname;Unspecified;/;${PROJECT_BINARY_DIR};askname;deb;/\")
endif()
")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)

set(CPACK_PACKAGE_DESCRIPTION
    "askname asks for your name (one word) on the console, shows it back, and
waits for one more answer before it ends. See askname(1).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR TGZ)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian's name for the architecture, where the processor tells it: dpkg
# would name the build machine's in a cross-build, and the tarballs of two
# architectures need names of their own.  Elsewhere dpkg names it.
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" architecture)
string(REGEX REPLACE "^x86_64$" amd64 architecture "${architecture}")
string(REGEX REPLACE "^aarch64$" arm64 architecture "${architecture}")
string(REGEX REPLACE "^armv7l?$" armhf architecture "${architecture}")
if(architecture MATCHES "^(amd64|arm64|armhf)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${architecture})
endif()
set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${architecture})
# CPack's own source package would take the whole tree, build output too:
# its configuration is written where no package_source target finds it.
set(CPACK_SOURCE_OUTPUT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackSourceConfig-unused.cmake)
include(CPack)

# The source release, askname-VERSION.tar.gz and its .sha256: what git
# tracks at HEAD, under askname-VERSION/.
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  set(release askname-${PROJECT_VERSION})
  add_custom_target(
    dist
    COMMAND sh -c "test -z \"$($0 -C \"$1\" status --porcelain)\" || { echo \"$2\" >&2; exit 1; }" ${GIT_EXECUTABLE}
            ${PROJECT_SOURCE_DIR} "dist: the work tree has changes git does not hold; the release is HEAD, so commit them"
    COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} -c tar.umask=022 archive --format=tar.gz
            --prefix=${release}/ --output=${PROJECT_BINARY_DIR}/${release}.tar.gz HEAD
    COMMAND ${CMAKE_COMMAND} -E sha256sum ${release}.tar.gz > ${release}.tar.gz.sha256
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Making ${release}.tar.gz from git's HEAD"
    VERBATIM)
endif()
