# Tests that need more than one test program. Each developer keeps to a
# marked block of their own.

# --- settings store: velvane-settings in a Wine prefix ---
if(WIN32 AND TARGET velvane-settings)
  add_test(NAME velvane_settings_dump
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/velvane_settings_dump.sh
            ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template
            $<TARGET_FILE:velvane-settings>)
  set_tests_properties(velvane_settings_dump PROPERTIES TIMEOUT 300)
endif()
# --- end settings store ---
