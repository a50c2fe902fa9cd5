# Install layout and packages.
#   Linux: bin/ctrcheck and the gzipped man page; `cpack -G DEB` makes a .deb
#   for the target's architecture (amd64, arm64, armhf) with Debian's
#   copyright file and changelog, `cpack -G RPM` an .rpm (x86_64, aarch64).
#   Windows: a flat folder, ctrcheck.exe with README.md, LICENSE.txt and the
#   manual as plain text (ctrcheck.txt); `cpack -G ZIP` zips it.
include(GNUInstallDirs)

set(CTRCHECK_MAINTAINER "The ctrcheck developers <ctrcheck@localhost>"
    CACHE STRING "Maintainer of the Debian package: \"Name <address>\"")

find_program(GZIP_EXE gzip)
find_program(GROFF_EXE groff)

if(WIN32)
  install(TARGETS ctrcheck RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  # The man page as text with Windows line ends, for readers without man.
  if(NOT GROFF_EXE)
    message(FATAL_ERROR "groff is needed for the manual as text: install groff-base")
  endif()
  set(manual_txt ${PROJECT_BINARY_DIR}/ctrcheck.txt)
  add_custom_command(OUTPUT ${manual_txt}
    COMMAND sh -c "\"$0\" -man -Tascii -P-cbou \"$1\" | sed 's/$/\\r/' > \"$2\"" ${GROFF_EXE}
            ${PROJECT_SOURCE_DIR}/doc/ctrcheck.1 ${manual_txt}
    DEPENDS doc/ctrcheck.1 VERBATIM)
  add_custom_target(manual_txt ALL DEPENDS ${manual_txt})
  install(FILES ${manual_txt} DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ctrcheck-${PROJECT_VERSION}-win64)
else()
  install(TARGETS ctrcheck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Debian wants the man page, the changelog and the copyright file as below,
  # compressed with gzip -9n (no name, no time stamp: the same bytes each time).
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/ctrcheck)
  configure_file(cmake/debian/changelog ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
  configure_file(cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)
  set(gz_files)
  foreach(pair "doc/ctrcheck.1|${PROJECT_SOURCE_DIR}/doc/ctrcheck.1"
               "changelog|${PROJECT_BINARY_DIR}/debian/changelog")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 name)
    list(GET pair 1 source)
    get_filename_component(base ${name} NAME)
    set(gz ${PROJECT_BINARY_DIR}/debian/${base}.gz)
    add_custom_command(OUTPUT ${gz}
      COMMAND ${GZIP_EXE} -9n -c ${source} > ${gz}
      DEPENDS ${source} VERBATIM)
    list(APPEND gz_files ${gz})
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS ${gz_files})
  install(FILES ${PROJECT_BINARY_DIR}/debian/ctrcheck.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz ${PROJECT_BINARY_DIR}/debian/copyright
          DESTINATION ${doc_dir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  if(CMAKE_CROSSCOMPILING)
    # dpkg-shlibdeps cannot read the target's libraries here. The binary
    # needs the C library (symbols up to GLIBC_2.34, as the native build
    # finds) and, on 32-bit ARM, libgcc_s for the unwinder's helpers.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm" AND NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^arm64")
      string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libgcc-s1 (>= 3.5)")
    endif()
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    set(CPACK_RPM_PACKAGE_ARCHITECTURE aarch64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
    set(CPACK_RPM_PACKAGE_ARCHITECTURE armv7hl)
  endif()

  # `cpack -G RPM` (rpmbuild, from Debian's rpm package): the same files,
  # the build time and every file time taken from SOURCE_DATE_EPOCH, no
  # build host, so that a rebuild of the same commit gives the same bytes.
  # Requires are what rpm finds the binary needs: the C and C++ libraries.
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
  set(CPACK_RPM_PACKAGE_SUMMARY "Verifier for byte streams that carry an 8-bit counter")
  set(CPACK_RPM_PACKAGE_AUTOREQPROV ON)
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CTRCHECK_MAINTAINER}
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _buildhost reproducible
%define debug_package %{nil}
%define __strip /bin/true")
  # The folders that the file system package owns are not this package's.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1 /usr/share/doc)
endif()

set(CPACK_PACKAGE_NAME ctrcheck)
set(CPACK_PACKAGE_VENDOR "The ctrcheck developers")
set(CPACK_PACKAGE_CONTACT "${CTRCHECK_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "verifier for byte streams that carry an 8-bit counter")
# Debian's long description: lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "ctrcheck reads a capture of a data-acquisition or streaming link and
reports every place where its free-running 8-bit counter breaks, with the
position, and the number of breaks. It works in constant memory and at the
speed of the read, also on captures far beyond 4 GiB.")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)
include(CPack)
