# `cmake --install build/release --prefix PREFIX`: where a Linux system keeps each
# part. The plug-in bundles go to PREFIX/lib/vst3 and PREFIX/lib/lv2 (with the
# prefix ~/.local, to ~/.vst3 and ~/.lv2: cmake/install_bundles.cmake), the tool
# and the Standalone to PREFIX/bin, the desktop entry, its icon and the manual
# pages under PREFIX/share.

# The manual page is written from the tool's own help texts after every link of
# the tool, so it never says other than --help.
set(ORLIX_MAN_PAGE "${CMAKE_BINARY_DIR}/orlix.1.gz")
add_custom_command(
    OUTPUT "${ORLIX_MAN_PAGE}"
    COMMAND "${ORLIX_SYSTEM_PYTHON}" "${CMAKE_SOURCE_DIR}/cmake/manpage.py" "$<TARGET_FILE:orlix_cli>" "${ORLIX_MAN_PAGE}"
    DEPENDS orlix_cli "${CMAKE_SOURCE_DIR}/cmake/manpage.py"
    COMMENT "Writing the orlix manual page from its help texts"
    VERBATIM)
set(ORLIX_STANDALONE_MAN_PAGE "${CMAKE_BINARY_DIR}/orlix-standalone.1.gz")
add_custom_command(
    OUTPUT "${ORLIX_STANDALONE_MAN_PAGE}"
    COMMAND "${ORLIX_SYSTEM_PYTHON}" "${CMAKE_SOURCE_DIR}/cmake/manpage.py" --compress
            "${CMAKE_SOURCE_DIR}/packaging/linux/orlix-standalone.1" "${ORLIX_STANDALONE_MAN_PAGE}"
    DEPENDS "${CMAKE_SOURCE_DIR}/cmake/manpage.py" "${CMAKE_SOURCE_DIR}/packaging/linux/orlix-standalone.1"
    VERBATIM)
add_custom_target(orlix_man ALL DEPENDS "${ORLIX_MAN_PAGE}" "${ORLIX_STANDALONE_MAN_PAGE}")

install(CODE "set(ORLIX_VST3_BUNDLE \"$<GENEX_EVAL:$<TARGET_PROPERTY:Orlix_VST3,JUCE_PLUGIN_ARTEFACT_FILE>>\")")
install(CODE "set(ORLIX_LV2_BUNDLE \"$<TARGET_FILE_DIR:Orlix_LV2>\")")
install(SCRIPT "${CMAKE_SOURCE_DIR}/cmake/install_bundles.cmake")

install(TARGETS orlix_cli RUNTIME DESTINATION bin)
install(PROGRAMS "$<TARGET_FILE:Orlix_Standalone>" DESTINATION bin RENAME orlix-standalone)
install(FILES "${CMAKE_SOURCE_DIR}/packaging/linux/orlix.desktop" DESTINATION share/applications)
install(FILES "${CMAKE_SOURCE_DIR}/packaging/linux/orlix.svg" DESTINATION share/icons/hicolor/scalable/apps)
install(FILES "${ORLIX_MAN_PAGE}" "${ORLIX_STANDALONE_MAN_PAGE}" DESTINATION share/man/man1)
