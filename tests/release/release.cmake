# The release files in dist/release/ (make release builds them before CTest
# runs): their contents on every machine; what the installer test needs
# before Wine (the stand-in player built, the zip's maps) on every machine,
# then the installer for real under 32-bit Wine where the kernel runs 32-bit
# programs, skipped elsewhere; and two clean builds compared by their hashes.
set(NOTEWICK_RELEASE_TESTS ${CMAKE_SOURCE_DIR}/tests/release)
add_test(NAME release.contents COMMAND ${NOTEWICK_RELEASE_TESTS}/contents.sh)
add_test(NAME release.installer_before_wine COMMAND ${NOTEWICK_RELEASE_TESTS}/installer.sh before-wine)
add_test(NAME release.installer COMMAND ${NOTEWICK_RELEASE_TESTS}/installer.sh)
# The installed plug-in is loaded by the stand-in player of the Wine scenarios.
set_tests_properties(release.installer PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 FIXTURES_REQUIRED wine)
add_test(NAME release.reproducible COMMAND ${NOTEWICK_RELEASE_TESTS}/reproducible.sh)
set_tests_properties(release.reproducible PROPERTIES TIMEOUT 600)
