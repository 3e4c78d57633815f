# Run by CPack after the install rules have filled the staging tree and
# before the Debian package is made from it (CPACK_PRE_BUILD_SCRIPTS).
# Debian lays out what the install rules cannot: the man page gzipped, the
# changelog in Debian's format as changelog.gz, and the copyright file in
# the machine-readable format. gzip -n leaves out names and times, so the
# same tree gives the same package.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(usr ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${usr}/share/doc/vardo)
set(source ${CPACK_VARDO_SOURCE_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed: ${status}")
  endif()
endfunction()

set(man ${usr}/share/man/man1/vardo.1)
if(EXISTS ${man})
  run(gzip -9nf ${man})
endif()

file(MAKE_DIRECTORY ${doc})
run(sh -c "\"$1\" \"$2\" \"$3\" | gzip -9n > \"$4\"" sh
    ${source}/packaging/debian-changelog.sh ${source}/CHANGELOG.md
    "${CPACK_DEBIAN_PACKAGE_MAINTAINER}" ${doc}/changelog.gz)

set(VERSION ${CPACK_PACKAGE_VERSION})
configure_file(${source}/packaging/copyright.in ${doc}/copyright @ONLY)
if(EXISTS ${usr}/bin/vardo)
  # The renderer's paragraph: what it has compiled in, and those licences.
  file(READ ${source}/packaging/copyright-renderer.in text)
  file(APPEND ${doc}/copyright "${text}")
endif()

# The dependencies: dpkg-shlibdeps over every ELF file, run here rather
# than by CPack, which would also add an ldconfig call to postinst and postrm
# for any shared object below /usr/lib. The plug-ins are modules that hosts
# open by path, not libraries the dynamic linker looks up, so ldconfig has
# nothing to do for them. Unlike CPack's run, a library that no installed
# package owns is an error here, not a dependency silently left out.
file(GLOB_RECURSE candidates ${usr}/*)
set(elf_files)
foreach(path IN LISTS candidates)
  file(READ ${path} magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    file(RELATIVE_PATH relative ${CPACK_TEMPORARY_DIRECTORY} ${path})
    list(APPEND elf_files ${relative})
    # Stripped as dh_strip would: no compiler version notes either.
    run(${CPACK_VARDO_STRIP} --remove-section=.comment --remove-section=.note ${path})
  endif()
endforeach()
if(elf_files)
  file(MAKE_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY}/debian ${CPACK_TEMPORARY_DIRECTORY}/DEBIAN)
  file(WRITE ${CPACK_TEMPORARY_DIRECTORY}/debian/control "")
  execute_process(COMMAND dpkg-shlibdeps -O ${elf_files}
    WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY}
    OUTPUT_VARIABLE shlibdeps RESULT_VARIABLE status ERROR_VARIABLE errors)
  file(REMOVE_RECURSE ${CPACK_TEMPORARY_DIRECTORY}/debian ${CPACK_TEMPORARY_DIRECTORY}/DEBIAN)
  if(NOT status EQUAL 0 OR NOT shlibdeps MATCHES "shlibs:Depends=([^\n]+)")
    message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${errors}")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
  message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
endif()

# Everything readable by all and written by root only, whatever the umask
# of whoever built it.
file(GLOB_RECURSE files LIST_DIRECTORIES true ${CPACK_TEMPORARY_DIRECTORY}/usr/*)
foreach(path IN LISTS files)
  if(IS_DIRECTORY ${path})
    file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                   WORLD_READ WORLD_EXECUTE)
  elseif(path MATCHES "/usr/bin/")
    file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                   WORLD_READ WORLD_EXECUTE)
  else()
    file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
