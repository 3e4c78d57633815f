# The renderer's man page, vardo.1, written by help2man from the built
# program's own --help (and its subcommands'), so it lists exactly the options
# the program takes. Installation puts the installed plug-in's path in it.
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
  message(WARNING "help2man not found: no man page (Debian: apt-get install help2man)")
  return()
endif()

set(man_in ${CMAKE_BINARY_DIR}/man/vardo.1.in)
add_custom_command(
  OUTPUT ${man_in}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
          --version-string=${PROJECT_VERSION}
          "--name=render audio files through the Vardo VST 2.4 plug-in"
          --output=${man_in}
          "sh ${PROJECT_SOURCE_DIR}/cmake/vardo_help.sh $<TARGET_FILE:vardo_cli>"
  DEPENDS vardo_cli vardo ${PROJECT_SOURCE_DIR}/cmake/vardo_help.sh
  COMMENT "Writing the vardo man page from its --help"
  VERBATIM)
add_custom_target(vardo_man ALL DEPENDS ${man_in})

install(CODE "
  file(READ \"${man_in}\" page)
  string(REPLACE \"@VARDO_PLUGIN@\" \"\${CMAKE_INSTALL_PREFIX}/lib/vst/vardo.so\" page \"\${page}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/man/vardo.1\" \"\${page}\")
")
install(FILES ${CMAKE_BINARY_DIR}/man/vardo.1 DESTINATION share/man/man1)
