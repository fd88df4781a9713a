# Install rules and packages.
#   Linux:   lib/vst/Varnex.so, the tools under bin, their manual pages, README and licence under
#            share/doc/varnex (the LV2 bundle's rule, lib/lv2/varnex.lv2, stands beside its target
#            in src/). `cpack -G DEB` makes the .deb.
#   Windows: one flat folder (Varnex.dll, varnex.exe, vsthost.exe, README.txt, LICENSE.txt), as
#            the ZIP a user unpacks; `cpack -G ZIP`.

# `cmake --install` and cpack install what was built; they never start a build of everything.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(KV_INSTALLED_TOOLS vsthost piperun kvsh varnex)

if(WIN32)
  install(TARGETS Varnex LIBRARY DESTINATION . RUNTIME DESTINATION .)
  install(TARGETS varnex vsthost RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  include(GNUInstallDirs)
  install(TARGETS Varnex LIBRARY DESTINATION lib/vst)
  install(TARGETS ${KV_INSTALLED_TOOLS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/varnex)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${doc})

  # Manual pages and the package's changelog, compressed as Debian keeps them.
  find_program(GZIP gzip REQUIRED)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  set(compressed "")
  foreach(page ${KV_INSTALLED_TOOLS})
    list(APPEND compressed ${CMAKE_SOURCE_DIR}/packaging/man/${page}.1)
  endforeach()
  list(APPEND compressed ${CMAKE_BINARY_DIR}/packaging/changelog)
  set(packed "")
  foreach(file ${compressed})
    get_filename_component(name ${file} NAME)
    set(gz ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
    add_custom_command(OUTPUT ${gz} COMMAND ${GZIP} -9nc ${file} > ${gz} DEPENDS ${file} VERBATIM)
    list(APPEND packed ${gz})
  endforeach()
  add_custom_target(varnex_packaging_files ALL DEPENDS ${packed})
  foreach(page ${KV_INSTALLED_TOOLS})
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${doc})
endif()

# Packages (scripts/package.sh).
set(CPACK_PACKAGE_NAME varnex)
set(CPACK_PACKAGE_VENDOR "Varnex developers")
set(CPACK_PACKAGE_CONTACT "Varnex developers <developers@varnex-audio.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "harmonic exciter for bass (VST 2.4 plug-in)")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES FALSE)  # the host's strip does not read Windows binaries
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.varnex-audio.example")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # libjack is loaded only when the stand-alone program runs on JACK; the file dialog uses the
  # desktop's chooser when there is one.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libjack-jackd2-0 | libjack0 | pipewire-jack")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2, zenity | kdialog")
  # The body under the summary; CPack indents each line and marks the empty one.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Varnex high-passes a bass line, cuts it into four bands, doubles and
triples the frequency of each band and mixes the harmonics onto the source
at the levels set, which gives a bass presence on small speakers.

The package holds the VST 2.4 plug-in for Linux hosts (in /usr/lib/vst),
the LV2 plug-in with its editor (in /usr/lib/lv2),
the stand-alone program varnex that runs it live on JACK with its editor,
the command-line host vsthost that renders audio files through any VST 2.4
plug-in and draws their spectra, and the framework's tools kvsh and piperun.")
endif()
include(CPack)
