# The renderer's man page, vardo.1, written by help2man from the built
# program's own --help-all (its options and every subcommand's), so it lists
# exactly the options the program takes.
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
  message(WARNING "help2man not found: no man page (Debian: apt-get install help2man)")
  return()
endif()

set(man_page ${CMAKE_BINARY_DIR}/man/vardo.1)
# help2man runs the program itself; a cross-built one runs under the
# emulator, through a small wrapper.
set(man_program $<TARGET_FILE:vardo_cli>)
if(CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(WARNING "No emulator to run the cross-built renderer: no man page")
    return()
  endif()
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
  set(man_program ${CMAKE_BINARY_DIR}/man/vardo)
  file(GENERATE OUTPUT ${man_program}
       CONTENT "#!/bin/sh\nexec ${emulator} \"$<TARGET_FILE:vardo_cli>\" \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
add_custom_command(
  OUTPUT ${man_page}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --help-option=--help-all
          "--name=render audio files through the Vardo VST 2.4 plug-in"
          --output=${man_page} ${man_program}
  DEPENDS vardo_cli
  COMMENT "Writing the vardo man page from its --help-all"
  VERBATIM)
add_custom_target(vardo_man ALL DEPENDS ${man_page})
install(FILES ${man_page} DESTINATION share/man/man1)
