# Release packages, made by CPack from the install rules (scripts/package.sh
# builds them all):
#   linux, aarch64 presets:  cpack -G DEB  ->  vardo_<version>_amd64.deb, vardo_<version>_arm64.deb
#   windows preset:          cpack -G ZIP  ->  vardo-<version>-windows-x64.zip
# The version is the project's; nothing here states one of its own.
set(CPACK_PACKAGE_NAME vardo)
set(CPACK_PACKAGE_VENDOR "The Vardo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_THREADS 1)
# The description's quotes reach the package as written.
set(CPACK_VERBATIM_VARIABLES ON)
# The source archive the packages name; scripts/package.sh writes it with
# git archive, so that it is exactly a commit.
set(VARDO_SOURCE_TARBALL vardo-${PROJECT_VERSION}.tar.gz)

if(WIN32)
  # The zip: vardo.dll exactly as the wine tests ran it (not stripped again),
  # with the licence, the notices, the changelog, INSTALL.txt and the manual.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/INSTALL.txt.in ${CMAKE_BINARY_DIR}/INSTALL.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES LICENSE CHANGELOG.md THIRD-PARTY-NOTICES.txt ${CMAKE_BINARY_DIR}/INSTALL.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vardo-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES OFF)
  include(CPack)
  return()
endif()

# --- Debian packages -----------------------------------------------------
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
set(VARDO_DEB_MAINTAINER "The Vardo developers <vardo@example.org>" CACHE STRING
    "Maintainer field of the Debian packages and their changelog")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# vardo_<version>_<architecture>.deb: no Debian revision, the package is
# made by the project itself (a native package, hence changelog.gz and not
# changelog.Debian.gz).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARDO_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from dpkg-shlibdeps, run by packaging/deb-staging.cmake.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_VARDO_STRIP ${CMAKE_STRIP})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Binaries go in stripped (install(TARGETS) rules only: the modules and the
# renderer).
set(CPACK_STRIP_FILES ON)

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "restores noisy, band-limited mono recordings (VST 2.4 and LV2)")
if(TARGET vardo_cli)
  set(vardo_deb_renderer
" * vardo, a command-line renderer that runs the plug-in over audio files
   (WAV, FLAC, AIFF, Ogg and the other formats libsndfile reads), one at a
   time, in pipes or as whole archives, with presets for tape, AM
   broadcasts, telephone audio, worn discs and field recordings;
")
else()
  set(vardo_deb_renderer "")
endif()
set(CPACK_PACKAGE_DESCRIPTION
"Vardo is an audio effect that restores band-limited, noisy mono recordings:
old tapes, broadcasts, telephone calls, voice memos, worn discs. It cuts the
hiss above the programme's own bandwidth, evens out the level, equalises the
programme band by band, builds a stereo image from the mono source,
synthesises new treble above the cut and holds every output sample within
-1 dBFS.

This package holds:
 * the plug-in for audio workstations and other plug-in hosts, as VST 2.4
   (/usr/lib/vst/vardo.so) and as LV2 (/usr/lib/lv2/vardo.lv2); hosts list
   it as \"Tovrel_KORVA-MX31f7\";
${vardo_deb_renderer} * the manual, /usr/share/doc/vardo/manual.md.

Vardo is free software under the GNU GPL, version 3 or later. Its source
is the archive ${VARDO_SOURCE_TARBALL}, published with this package.")

# What the install rules cannot express, done in the staging tree before
# the package is made: the man page gzipped, changelog.gz in Debian's format
# from CHANGELOG.md, and the copyright file.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deb-staging.cmake)
set(CPACK_VARDO_SOURCE_DIR ${PROJECT_SOURCE_DIR})

# lintian (scripts/package.sh runs it) reports no error and no warning on
# either package. With -I it still gives two notes (info), on each binary:
#   hardening-no-bindnow, hardening-no-fortify-functions: the project's
#     compile and link flags are its own (no dpkg-buildflags), the same for
#     the tested build and the packaged one. The plug-ins and the renderer
#     take no input that an attacker shapes beyond audio files read by
#     libsndfile, which is itself built hardened by Debian.

include(CPack)
