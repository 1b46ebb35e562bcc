# The end-to-end scenarios under 64-bit Wine, run by CTest from the native
# build. They use dist/x64/gen_notewick.dll and build/wine-tools/ from the
# win64 build.
set(NOTEWICK_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/run.sh)
set(NOTEWICK_WINE_SCENARIOS
    first_start
    stored_channel
    description
    missing_device
    device_held_elsewhere
    keys
    wheels
    other_sections
    quit_during_slow_send
    midi_after_unload
    config_dialogs
    config_stale_device
    fault_start_fails
    fault_stop_close_fail
    fault_held_elsewhere
    fault_unplugged
    fault_device_names
    fault_late_delivery
    settings_directory
    load_flood
    load_quit_trials
)

add_test(NAME wine.setup COMMAND ${NOTEWICK_WINE_RUN} setup)
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine.shutdown COMMAND ${NOTEWICK_WINE_RUN} stop)
set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine)

foreach(scenario IN LISTS NOTEWICK_WINE_SCENARIOS)
    add_test(NAME wine.${scenario} COMMAND ${NOTEWICK_WINE_RUN} ${scenario})
    set_tests_properties(wine.${scenario} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180)
endforeach()

# A scenario with settings of its own for the test driver or the scenario.
function(notewick_wine_scenario name)
    add_test(NAME wine.${name} COMMAND ${NOTEWICK_WINE_RUN} ${name})
    set_tests_properties(wine.${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 ENVIRONMENT "${ARGN}")
endfunction()

# Note-ons from 16 devices as fast as they come while OK or Cancel closes the
# autodetect dialog's ports.
notewick_wine_scenario(autodetect_storm "FAKEMIDI_DEVICES=16;NOTEWICK_STORM_TRIALS=100")
# No devices; more devices than one process may open.
notewick_wine_scenario(fault_no_devices "FAKEMIDI_DEVICES=0")
notewick_wine_scenario(fault_too_many_devices "FAKEMIDI_DEVICES=48")
# The hand-edited settings files.
notewick_wine_scenario(settings_corpus "NOTEWICK_SETTINGS_CORPUS=${CMAKE_SOURCE_DIR}/tests/data/settings")
