# Runs at install time, when the prefix is known: copies the VST3 and LV2 bundles
# (ORLIX_VST3_BUNDLE and ORLIX_LV2_BUNDLE, set by the install step before it).
# Hosts look for a user's own plug-ins in ~/.vst3 and ~/.lv2, not under ~/.local,
# so an install into ~/.local puts the bundles there; any other prefix gets
# PREFIX/lib/vst3 and PREFIX/lib/lv2, where hosts find system-wide plug-ins.
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(user_prefix "")
if(DEFINED ENV{HOME} AND NOT "$ENV{HOME}" STREQUAL "")
    get_filename_component(user_prefix "$ENV{HOME}/.local" ABSOLUTE)
endif()
if(prefix STREQUAL user_prefix)
    set(vst3_folder "$ENV{HOME}/.vst3")
    set(lv2_folder "$ENV{HOME}/.lv2")
else()
    set(vst3_folder "${prefix}/lib/vst3")
    set(lv2_folder "${prefix}/lib/lv2")
endif()

# A bundle is replaced whole, so that no file of an older version stays behind in it.
function(orlix_install_bundle bundle folder)
    get_filename_component(name "${bundle}" NAME)
    file(REMOVE_RECURSE "$ENV{DESTDIR}${folder}/${name}")
    file(INSTALL DESTINATION "${folder}" TYPE DIRECTORY FILES "${bundle}" USE_SOURCE_PERMISSIONS)
endfunction()

orlix_install_bundle("${ORLIX_VST3_BUNDLE}" "${vst3_folder}")
orlix_install_bundle("${ORLIX_LV2_BUNDLE}" "${lv2_folder}")
