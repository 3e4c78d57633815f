# The renderer's man page, vardo.1, written by help2man from the built
# program's own --help-all (its options and every subcommand's), so it lists
# exactly the options the program takes.
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
  message(WARNING "help2man not found: no man page (Debian: apt-get install help2man)")
  return()
endif()

set(man_page ${CMAKE_BINARY_DIR}/man/vardo.1)
add_custom_command(
  OUTPUT ${man_page}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --help-option=--help-all
          "--name=render audio files through the Vardo VST 2.4 plug-in"
          --output=${man_page} $<TARGET_FILE:vardo_cli>
  DEPENDS vardo_cli
  COMMENT "Writing the vardo man page from its --help-all"
  VERBATIM)
add_custom_target(vardo_man ALL DEPENDS ${man_page})
install(FILES ${man_page} DESTINATION share/man/man1)
