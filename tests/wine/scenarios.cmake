# The end-to-end scenarios under Wine, run by CTest from the native build, each
# on both DLLs: wine32.NAME runs the shipping i686 DLL under 32-bit Wine with
# the i686 test tools, wine64.NAME its x86_64 twin under 64-bit Wine. Where the
# kernel runs no 32-bit programs, run.sh exits 77 and the wine32 tests show as
# skipped. The scenarios find only their own process's windows, so they run
# in parallel; the one that checks which window is active has a desktop of
# its own besides.
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
    device_old_file
    device_renumbered
    device_absent_then_back
    device_unplugged_and_back
    device_change_while_configuring
    device_saved_on_apply
    device_change_after_unload
    device_interfaces
    load_flood
    load_quit_trials
    transport_buttons
    bindings_file
    bindings_section
    lights
    lights_stuck_output
    lights_held_output
    knobs
    gestures
    controllers
    controller_identity
    demo
)

# One X display, one prefix and one Wine server for the whole run.
add_test(NAME wine.setup COMMAND ${NOTEWICK_WINE_RUN} setup)
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine.shutdown COMMAND ${NOTEWICK_WINE_RUN} stop)
set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine)

# A scenario on both DLLs, with settings of its own for the test driver or
# the scenario, if any.
function(notewick_wine_scenario name)
    foreach(width 32 64)
        add_test(NAME wine${width}.${name} COMMAND ${NOTEWICK_WINE_RUN} ${width} ${name})
        set_tests_properties(wine${width}.${name} PROPERTIES
            FIXTURES_REQUIRED wine TIMEOUT 300 SKIP_RETURN_CODE 77 ENVIRONMENT "${ARGN}")
    endforeach()
endfunction()

foreach(scenario IN LISTS NOTEWICK_WINE_SCENARIOS)
    notewick_wine_scenario(${scenario})
endforeach()

# Which window is active, and where Enter goes: on a display and a Wine
# desktop of its own, which other scenarios' windows cannot take the
# foreground from.
notewick_wine_scenario(config_after_autodetect "NOTEWICK_OWN_DESKTOP=1")
notewick_wine_scenario(bindings_learn "NOTEWICK_OWN_DESKTOP=1")
notewick_wine_scenario(controller_map "NOTEWICK_OWN_DESKTOP=1")
# Note-ons from 16 devices as fast as they come while OK or Cancel closes the
# autodetect dialog's ports.
notewick_wine_scenario(autodetect_storm "FAKEMIDI_DEVICES=16;NOTEWICK_STORM_TRIALS=100")
# Each controller's ports as Windows names them, up to five.
notewick_wine_scenario(transport_replay "FAKEMIDI_DEVICES=5")
# Two devices of two ports each, with their outputs: the HUI ping.
notewick_wine_scenario(transport_hui_ping "FAKEMIDI_DEVICES=5;FAKEMIDI_OUTPUTS=5")
# Two units of a kind, and a section whose lights go to its port 2's output.
notewick_wine_scenario(device_two_units "FAKEMIDI_OUTPUTS=3")
# No devices; more devices than one process may open.
notewick_wine_scenario(fault_no_devices "FAKEMIDI_DEVICES=0")
notewick_wine_scenario(fault_too_many_devices "FAKEMIDI_DEVICES=48")
# The keyboard and 8 controllers, on a driver whose stop and reset fail.
notewick_wine_scenario(fault_quit_nine_stuck "FAKEMIDI_DEVICES=9")
# Both widths share the prefix's one user folder, where Save as Map puts the
# user's own maps, which every later offer for that port would then prefer:
# one at a time.
set_tests_properties(wine32.settings_directory wine64.settings_directory wine32.controller_map wine64.controller_map
    PROPERTIES RESOURCE_LOCK notewick-user-folder)
# The hand-edited settings files.
notewick_wine_scenario(settings_corpus "NOTEWICK_SETTINGS_CORPUS=${CMAKE_SOURCE_DIR}/tests/data/settings")
