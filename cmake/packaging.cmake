# Install layout and packages.
#   Linux: bin/ctrcheck and bin/ctrverify, their gzipped man pages and the
#   sample capture under
#   share/doc/ctrcheck/examples; `cpack -G DEB` makes a .deb for the
#   target's architecture (amd64, arm64, armhf, armel) with Debian's
#   copyright file and changelog, `cpack -G RPM` an .rpm (x86_64, aarch64).
#   Windows: a flat folder, ctrcheck.exe and ctrverify.exe with a README for
#   Windows users, LICENSE.txt and the manuals as plain text (ctrcheck.txt,
#   ctrverify.txt), all with CR LF line ends, and the sample capture;
#   `cpack -G ZIP` zips it.
#   A static build (every Windows one) adds NOTICES (NOTICES.txt): what else
#   the binaries hold, with its versions, licenses and sources.
include(GNUInstallDirs)

set(CTRCHECK_MAINTAINER "The ctrcheck developers <ctrcheck@localhost>"
    CACHE STRING "Maintainer of the Debian package: \"Name <address>\"")

find_program(GZIP_EXE gzip)
find_program(GROFF_EXE groff)

# Every file that a package carries besides the binary is made in the build
# tree, by the shell command `filter` reading `source` ("$0"), and installed
# from there into `destination`: so each is newer than the last commit, and
# rpmbuild, which only clamps newer times, stamps them all with the commit's.
set(ctrcheck_made)
# Ninja makes an output's folder itself, Make does not.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
function(ctrcheck_package_file source filter name destination)
  set(out ${PROJECT_BINARY_DIR}/package/${name})
  if(NOT IS_ABSOLUTE ${source})
    set(source ${PROJECT_SOURCE_DIR}/${source})
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND sh -c "${filter} > \"$1\"" ${source} ${out}
    DEPENDS ${source} VERBATIM)
  install(FILES ${out} DESTINATION ${destination})
  set(ctrcheck_made ${ctrcheck_made} ${out} PARENT_SCOPE)
endfunction()

# Where the compiler takes the file it links for `name` from: the Debian
# package that holds it and the source package of the code in it, as
# "package|version|source|source version" in `out`, or empty where dpkg does
# not know the file (a build on another system). A package built from
# another package's source (the cross C libraries from glibc, the cross and
# MinGW-w64 runtimes from gcc-12) records that source in its Built-Using:
# then the entry `from` (a regular expression: "glibc", "gcc-[0-9]+") of it
# is the source, since that is what `apt-get source` must fetch.
function(ctrcheck_debian_origin name from out)
  set(${out} "" PARENT_SCOPE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    return()
  endif()
  file(REAL_PATH "${path}" path)
  execute_process(COMMAND dpkg-query -S ${path} OUTPUT_VARIABLE owner RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    return()
  endif()
  # "libc6-dev:amd64: /usr/lib/..." names the package "libc6-dev:amd64".
  string(REGEX REPLACE ": .*" "" owner "${owner}")
  execute_process(COMMAND dpkg-query -W "-f=\${Package}|\${Version}|\${source:Package}|\${source:Version}" ${owner}
                  OUTPUT_VARIABLE origin RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    return()
  endif()
  execute_process(COMMAND dpkg-query -W "-f=\${Built-Using}" ${owner} OUTPUT_VARIABLE built_using ERROR_QUIET)
  if(built_using MATCHES "(^|, )(${from}) \\(= ([^)]+)\\)")
    string(REGEX REPLACE "[|][^|]*[|][^|]*$" "|${CMAKE_MATCH_2}|${CMAKE_MATCH_3}" origin "${origin}")
  endif()
  set(${out} "${origin}" PARENT_SCOPE)
endfunction()

# The third-party code that a static binary holds, a part a line: its name,
# the file the compiler links for it, and its license. From these come the
# notices that go with the binaries, the .deb's copyright stanzas and
# Built-Using fields, and the .rpm's License.
set(gcc_license "GPL-3.0-or-later WITH GCC-exception-3.1 (the exception below)")
set(ctrcheck_parts)
# Each text in the notices: its file in doc/licenses and its heading.
set(gcc_exception "GCC-exception-3.1|The GCC Runtime Library Exception, version 3.1")
if(WIN32)
  set(ctrcheck_parts
      "MinGW-w64 runtime|crt2.o|ZPL-2.1 and other permissive licenses (notices below)"
      "winpthreads, MinGW-w64's POSIX threads|libwinpthread.a|MIT, a few files BSD-3-Clause (notices below)"
      "GCC's C++ runtime, libstdc++|libstdc++.a|${gcc_license}"
      "GCC's support library, libgcc|libgcc.a|${gcc_license}"
      "GCC's stack protector, libssp|libssp.a|${gcc_license}")
  set(notice_texts "${gcc_exception}" "mingw-w64|The MinGW-w64 runtime's and winpthreads' notices, as Debian records them")
elseif(ctrcheck_static_link)
  set(ctrcheck_parts
      "GNU C Library, glibc|libc.a|LGPL-2.1-or-later (text below), some parts other licenses (notices below)"
      "GCC's C++ runtime, libstdc++|libstdc++.a|${gcc_license}"
      "GCC's support library, libgcc|libgcc.a|${gcc_license}")
  set(notice_texts "${gcc_exception}" "LGPL-2.1|The GNU Lesser General Public License, version 2.1"
                   "glibc|The GNU C Library's notices, as Debian records them")
endif()
set(ctrcheck_notice_components)
set(ctrcheck_libc_source "the build system's, version not recorded")
set(ctrcheck_gcc_source "the build system's, version not recorded")
set(ctrcheck_built_using)
set(ctrcheck_static_built_using)
foreach(part IN LISTS ctrcheck_parts)
  string(REPLACE "|" ";" part "${part}")
  list(GET part 0 what)
  list(GET part 1 file)
  list(GET part 2 license)
  if(file STREQUAL "libc.a")
    set(from "glibc")
  elseif(file MATCHES "^lib(stdc[+][+]|gcc|ssp)[.]a$")
    set(from "gcc-[0-9]+")
  else()
    set(from "no-such-source")
  endif()
  ctrcheck_debian_origin(${file} "${from}" origin)
  if(origin)
    string(REPLACE "|" ";" origin "${origin}")
    list(GET origin 0 package)
    list(GET origin 1 version)
    list(GET origin 2 source)
    list(GET origin 3 source_version)
    set(from "Debian package ${package} ${version},\n              Debian source package ${source} ${source_version}")
    # The C library's source is what its license asks for; GCC's runtime
    # exception asks for none, so it is named as linked in statically.
    set(relation "${source} (= ${source_version})")
    if(file STREQUAL "libc.a")
      list(APPEND ctrcheck_built_using "${relation}")
      set(ctrcheck_libc_source "Debian source package ${source} ${source_version}")
    else()
      set(ctrcheck_gcc_source "Debian source package ${source} ${source_version}")
      list(APPEND ctrcheck_static_built_using "${relation}")
    endif()
  else()
    message(STATUS "dpkg does not know where ${file} comes from: its notice names no version")
    set(from "the build system's ${file}, whose version dpkg did not know")
  endif()
  string(APPEND ctrcheck_notice_components "${what}\n  Built from: ${from}\n  License:    ${license}\n\n")
endforeach()
string(STRIP "${ctrcheck_notice_components}" ctrcheck_notice_components)
list(REMOVE_DUPLICATES ctrcheck_static_built_using)
list(JOIN ctrcheck_built_using ", " ctrcheck_built_using)
list(JOIN ctrcheck_static_built_using ", " ctrcheck_static_built_using)
# The notices: the configured head, then each license text under a heading.
if(ctrcheck_parts)
  if(WIN32)
    set(notice_system windows)
  else()
    set(notice_system linux)
  endif()
  set(head ${PROJECT_SOURCE_DIR}/doc/NOTICES-${notice_system}.txt.in)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${head})
  file(READ ${head} notices)
  string(CONFIGURE "${notices}" notices @ONLY)
  foreach(text IN LISTS notice_texts)
    string(REGEX REPLACE "^[^|]*[|]" "" title "${text}")
    string(REGEX REPLACE "[|].*" "" text "${text}")
    set(path ${PROJECT_SOURCE_DIR}/doc/licenses/${text}.txt)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
    file(READ ${path} body)
    string(APPEND notices "\n\n${title}\n\n${body}")
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/notices/NOTICES "${notices}")
endif()

if(WIN32)
  install(TARGETS ctrcheck ctrverify RUNTIME DESTINATION .)
  # The texts with Windows line ends, for Notepad; the man page as text, for
  # readers without man.
  if(NOT GROFF_EXE)
    message(FATAL_ERROR "groff is needed for the manual as text: install groff-base")
  endif()
  set(crlf "sed 's/$/\\r/'")
  ctrcheck_package_file(doc/README-windows.txt "${crlf} \"$0\"" README.txt .)
  ctrcheck_package_file(${PROJECT_BINARY_DIR}/notices/NOTICES "${crlf} \"$0\"" NOTICES.txt .)
  ctrcheck_package_file(LICENSE "${crlf} \"$0\"" LICENSE.txt .)
  foreach(tool ctrcheck ctrverify)
    ctrcheck_package_file(doc/${tool}.1 "${GROFF_EXE} -man -Tascii -P-cbou \"$0\" | ${crlf}" ${tool}.txt .)
  endforeach()
  ctrcheck_package_file(examples/capture.dat "cat \"$0\"" capture.dat .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ctrcheck-${PROJECT_VERSION}-win64)
else()
  install(TARGETS ctrcheck ctrverify RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Debian wants the man page, the changelog and the copyright file as below,
  # compressed with gzip -9n (no name, no time stamp: the same bytes each time).
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/ctrcheck)
  configure_file(cmake/debian/changelog ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
  configure_file(cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)
  if(ctrcheck_parts)
    # The parts the static binaries hold: their stanzas, and the notices.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/copyright-static.in)
    file(READ cmake/debian/copyright-static.in stanzas)
    string(CONFIGURE "${stanzas}" stanzas @ONLY)
    file(APPEND ${PROJECT_BINARY_DIR}/debian/copyright "${stanzas}")
    ctrcheck_package_file(${PROJECT_BINARY_DIR}/notices/NOTICES "cat \"$0\"" NOTICES ${doc_dir})
  endif()
  set(gzip "${GZIP_EXE} -9n -c \"$0\"")
  foreach(tool ctrcheck ctrverify)
    ctrcheck_package_file(doc/${tool}.1 "${gzip}" ${tool}.1.gz ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  ctrcheck_package_file(${PROJECT_BINARY_DIR}/debian/changelog "${gzip}" changelog.gz ${doc_dir})
  ctrcheck_package_file(${PROJECT_BINARY_DIR}/debian/copyright "cat \"$0\"" copyright ${doc_dir})
  ctrcheck_package_file(examples/capture.dat "cat \"$0\"" capture.dat ${doc_dir}/examples)
  if(ctrcheck_static_link)
    # lintian names a static binary as such, but takes a static PIE (no
    # loader, no library, relocatable) for a shared library without its
    # libraries.
    set(lintian_tag statically-linked-binary)
    set(lintian_note "")
    if(ctrcheck_static_link STREQUAL "-static-pie")
      set(lintian_tag shared-library-lacks-prerequisites)
      set(lintian_note "\n# A static PIE, which lintian takes for a shared library without its libraries.")
    endif()
    configure_file(cmake/debian/lintian-overrides.in ${PROJECT_BINARY_DIR}/debian/lintian-overrides @ONLY)
    ctrcheck_package_file(${PROJECT_BINARY_DIR}/debian/lintian-overrides "cat \"$0\"" ctrcheck
                          ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides)
  endif()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  if(ctrcheck_built_using OR ctrcheck_static_built_using)
    # CPack writes no Built-Using field of its own: the two fields ride on
    # the Source line, which it writes as it is given.
    set(source_field ctrcheck)
    if(ctrcheck_built_using)
      string(APPEND source_field "\nBuilt-Using: ${ctrcheck_built_using}")
    endif()
    if(ctrcheck_static_built_using)
      string(APPEND source_field "\nStatic-Built-Using: ${ctrcheck_static_built_using}")
    endif()
    set(CPACK_DEBIAN_PACKAGE_SOURCE "${source_field}")
  endif()
  if(ctrcheck_static_link)
    # A static binary needs no package: it installs on any Debian, Ubuntu or
    # Raspberry Pi OS of its architecture, however old its C library.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  elseif(CMAKE_CROSSCOMPILING)
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
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^armv5" AND NOT ctrcheck_static_link)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armel)
    set(CPACK_RPM_PACKAGE_ARCHITECTURE armv5tel)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
    # The static ARMv5TE binary shares no library with the system, so it is
    # what the armhf package carries too: it runs on every board an armhf
    # system runs on, ARMv6 included, which ARMv7 code does not.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
    set(CPACK_RPM_PACKAGE_ARCHITECTURE armv7hl)
  endif()

  # `cpack -G RPM` (rpmbuild, from Debian's rpm package): the same files,
  # the build time and every file time taken from SOURCE_DATE_EPOCH, no
  # build host, so that a rebuild of the same commit gives the same bytes.
  # Requires are what rpm finds the binary needs: nothing but rpmlib's own
  # features for the static binary, the C library for a dynamic one.
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  if(ctrcheck_parts)
    set(CPACK_RPM_PACKAGE_LICENSE "MIT AND LGPL-2.1-or-later AND GPL-3.0-or-later WITH GCC-exception-3.1")
  endif()
  set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
  set(CPACK_RPM_PACKAGE_SUMMARY "Verifier for byte streams that carry an 8-bit counter")
  set(CPACK_RPM_PACKAGE_AUTOREQPROV ON)
  if(ctrcheck_static_link)
    # rpm would still ask for the dynamic loader's hash style (rtld(GNU_HASH))
    # for the static PIE's own relocation table, which needs no loader.
    set(CPACK_RPM_PACKAGE_AUTOREQPROV no)
    # The lintian override is for the .deb alone.
    set(CPACK_RPM_USER_FILELIST "%exclude /usr/share/lintian")
  endif()
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
speed of the read, also on captures far beyond 4 GiB. Its companion
ctrverify checks files, pipes and devices for scripts and live link tests,
with an exit status that says whether the counter broke.")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)
include(CPack)
add_custom_target(package_files ALL DEPENDS ${ctrcheck_made})
