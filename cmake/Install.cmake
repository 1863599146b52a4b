# Installed layout: the programs in bin/, the sample catalogue as share/orvantis/tevox20.mdb
# (found through XDG_DATA_DIRS, so the prefix's share/ must be on it: /usr and /usr/local are
# by default), the desktop entry, icons, AppStream metadata and man pages where desktops and
# man look for them.
include(GNUInstallDirs)

set(ORVANTIS_MAINTAINER "MORVALEN <orvantis@morvalen.invalid>" CACHE STRING "Maintainer of the Debian package")

if(TARGET orvantis)
  install(TARGETS orvantis RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS orvantis-query RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package's) drops the compiler's notes too, as Debian's own packages do.
if(CMAKE_OBJCOPY)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(exe orvantis orvantis-query)
        set(path \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${exe}\")
        if(EXISTS \"\${path}\")
          execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note \"\${path}\")
        endif()
      endforeach()
    endif()")
endif()

install(FILES data/sample/tevox20.mdb DESTINATION ${CMAKE_INSTALL_DATADIR}/orvantis)
install(FILES data/orvantis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/com.morvalen.orvantis.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/icons/orvantis.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY data/icons/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
        FILES_MATCHING PATTERN "*.png")

# Man pages and the changelog, compressed as Debian wants them (gzip -9n: no name, no time, so
# the package is reproducible).
set(docs_dir ${CMAKE_BINARY_DIR}/docs)
set(gz_files)
set(ORVANTIS_RELEASE_DATE "Mon, 07 Dec 2026 00:00:00 +0000")
# The Japanese man pages (data/man/ja) go to docs/ja under the same names.
foreach(doc IN ITEMS man/orvantis.1 man/orvantis-query.1 man/ja/orvantis.1 man/ja/orvantis-query.1 debian/changelog)
  get_filename_component(name ${doc} NAME)
  set(out_dir ${docs_dir})
  if(doc MATCHES "^man/ja/")
    set(out_dir ${docs_dir}/ja)
  endif()
  configure_file(data/${doc} ${out_dir}/${name} @ONLY)
  add_custom_command(OUTPUT ${out_dir}/${name}.gz
    COMMAND gzip -9nkf ${name}
    DEPENDS ${out_dir}/${name}
    WORKING_DIRECTORY ${out_dir})
  list(APPEND gz_files ${out_dir}/${name}.gz)
endforeach()
add_custom_target(orvantis_docs ALL DEPENDS ${gz_files})
install(FILES ${docs_dir}/orvantis.1.gz ${docs_dir}/orvantis-query.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${docs_dir}/ja/orvantis.1.gz ${docs_dir}/ja/orvantis-query.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
install(FILES ${docs_dir}/changelog.gz data/debian/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvantis)
# The users' guide in Japanese, as Debian keeps a package's documents.
install(FILES README.ja.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvantis)

# The Debian package: orvantis_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvantis)
set(CPACK_PACKAGE_VENDOR MORVALEN)
set(CPACK_PACKAGE_CONTACT "${ORVANTIS_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browser for the catalogue of game utilities on bonus CDs")
set(CPACK_PACKAGE_DESCRIPTION "Orvantis shows the catalogue of game utilities that ship on the numbered
bonus CDs in one window with a Japanese user interface: every entry of
every volume in a sortable list, or one entry at a time on a card. The list
can be narrowed by keywords, words to leave out, platform, the new mark and
CD volume, and the current entry's file or folder opens from the CD drive.
.
A sample catalogue is included; a catalogue of one's own goes in
~/.local/share/orvantis/. orvantis-query runs statements and searches
against a catalogue from a terminal.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVANTIS_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binaries link (dpkg-shlibdeps), and xdg-open, which opens entries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
# The window's font family (app/UiFont.cpp), the toolkit's own texts in Japanese, and an input
# method to type Japanese search words with (Qt talks to ibus itself; fcitx5 needs its Qt 6
# frontend).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n, ibus-mozc | fcitx5-mozc")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fcitx5-frontend-qt6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
