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

# Note-ons from 16 devices as fast as they come while OK or Cancel closes the
# autodetect dialog's ports.
add_test(NAME wine.autodetect_storm COMMAND ${NOTEWICK_WINE_RUN} autodetect_storm)
set_tests_properties(wine.autodetect_storm PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300
    ENVIRONMENT "FAKEMIDI_DEVICES=16;NOTEWICK_STORM_TRIALS=100")

# Scenarios that need a driver with another number of devices.
add_test(NAME wine.fault_no_devices COMMAND ${NOTEWICK_WINE_RUN} fault_no_devices)
set_tests_properties(wine.fault_no_devices PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180
    ENVIRONMENT "FAKEMIDI_DEVICES=0")
add_test(NAME wine.fault_too_many_devices COMMAND ${NOTEWICK_WINE_RUN} fault_too_many_devices)
set_tests_properties(wine.fault_too_many_devices PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180
    ENVIRONMENT "FAKEMIDI_DEVICES=48")

# The hand-edited settings files.
add_test(NAME wine.settings_corpus COMMAND ${NOTEWICK_WINE_RUN} settings_corpus)
set_tests_properties(wine.settings_corpus PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300
    ENVIRONMENT "NOTEWICK_SETTINGS_CORPUS=${CMAKE_SOURCE_DIR}/tests/data/settings")
