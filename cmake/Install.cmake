# What `cmake --install` puts where, and the Debian package made of it
# (`cmake --build <dir> --target package`). The programs find their data in
# ../share/zwirbels, so the prefix is free.
include(GNUInstallDirs)

set(ZW_APP_ID org.zwirbels.Zwirbels)
set(ZW_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/data/desktop)
set(ZW_GENERATED_DIR ${PROJECT_BINARY_DIR}/install-files)

# Every rule file, so new ones ship without touching this list.
file(GLOB ZW_RULE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.sub)
install(FILES ${PROJECT_SOURCE_DIR}/data/RuleHelp.txt ${ZW_RULE_FILES}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zwirbels)

install(FILES ${ZW_DESKTOP_DIR}/${ZW_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZW_DESKTOP_DIR}/${ZW_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${ZW_DESKTOP_DIR}/${ZW_APP_ID}.metainfo.xml.in ${ZW_GENERATED_DIR}/${ZW_APP_ID}.metainfo.xml @ONLY)
install(FILES ${ZW_GENERATED_DIR}/${ZW_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The licence, where Debian looks for it.
configure_file(${ZW_DESKTOP_DIR}/copyright.in ${ZW_GENERATED_DIR}/copyright @ONLY)
install(FILES ${ZW_GENERATED_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages, compressed as Debian installs them (-n: no time stamp, so
# two builds give the same bytes).
set(ZW_MAN_PAGES "")
foreach(page zwirbels zwirbels-rule zwirbels-render zwirbels-match)
  configure_file(${PROJECT_SOURCE_DIR}/data/man/${page}.1.in ${ZW_GENERATED_DIR}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${ZW_GENERATED_DIR}/${page}.1.gz
                     COMMAND gzip -9 -n -f -k ${page}.1
                     WORKING_DIRECTORY ${ZW_GENERATED_DIR}
                     DEPENDS ${ZW_GENERATED_DIR}/${page}.1)
  list(APPEND ZW_MAN_PAGES ${ZW_GENERATED_DIR}/${page}.1.gz)
endforeach()
add_custom_target(zw_man_pages ALL DEPENDS ${ZW_MAN_PAGES})
install(FILES ${ZW_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zwirbels)
set(CPACK_PACKAGE_VENDOR "${ZW_COMPANY_NAME}")
set(CPACK_PACKAGE_CONTACT "${ZW_COMPANY_NAME} <${ZW_COMMENTS}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive evolutionary sound designer for MIDI synthesizers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Breed worms, genomes of 120 byte genes, by randomizing, mating, mutating and morphing them; "
       "a one-line rule per gene translates the audible worm into MIDI bytes for a synthesizer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZW_WEB_ADDRESS}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as a plugin, so the library scan cannot see it: the window icon is an SVG.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
include(CPack)
