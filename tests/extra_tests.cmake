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

# --- program and tray: velvane.exe and the tray harness driven from outside ---
if(WIN32)
  add_executable(velvane-tray-harness win/tray_harness.cpp)
  target_link_libraries(velvane-tray-harness PRIVATE velvane_core)
  if(TARGET velvane_res)
    target_link_libraries(velvane-tray-harness PRIVATE velvane_res)
  endif()
  # The notification icon is the program's icon 107, in the resources.
  if(TARGET velvane_res AND TARGET velvane-probe)
    set(velvane_app_test_args
        ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template
        $<TARGET_FILE:velvane-probe> $<TARGET_FILE:velvane-tray-harness>)
    if(TARGET velvane)
      list(APPEND velvane_app_test_args $<TARGET_FILE:velvane>)
    endif()
    add_test(NAME app_tests
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/app_tests.sh ${velvane_app_test_args})
    set_tests_properties(app_tests PROPERTIES TIMEOUT 600)
  endif()
endif()
# --- end program and tray ---

# --- pictures: the packed icons and bitmap are current with their SVG sources ---
if(NOT WIN32)
  add_test(NAME gen_pictures_check
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/gen-pictures --check)
  set_tests_properties(gen_pictures_check PROPERTIES TIMEOUT 300)
endif()
# --- end pictures ---

# --- location catalogue: the shipped table is current with its text files ---
if(NOT WIN32)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  add_test(NAME gen_catalogue_check
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/gen-catalogue --check)
  set_tests_properties(gen_catalogue_check PROPERTIES TIMEOUT 120)
  # The tool's coordinates, from the compiled table, against the text files
  # as the generator reads them: every row of every country position, the
  # text of each number included.
  if(TARGET velvane-catalogue)
    add_test(NAME catalogue_coordinates_tool
      COMMAND bash -c "diff <(\"$1\" coordinates) <(\"$2\" \"$3\" --coordinates)"
              catalogue_coordinates_tool $<TARGET_FILE:velvane-catalogue>
              ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/gen-catalogue)
    set_tests_properties(catalogue_coordinates_tool PROPERTIES TIMEOUT 120)
    # Likewise every key and display name the compiled table's offsets lead
    # to, and the location path of every row.
    add_test(NAME catalogue_texts_tool
      COMMAND bash -c "diff <(\"$1\" countries) <(\"$2\" \"$3\" --countries) &&
                       diff <(\"$1\" cities) <(\"$2\" \"$3\" --cities)"
              catalogue_texts_tool $<TARGET_FILE:velvane-catalogue>
              ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/gen-catalogue)
    set_tests_properties(catalogue_texts_tool PROPERTIES TIMEOUT 120)
  endif()
endif()
# --- end location catalogue ---

# --- HTTP client: velvane-get against nginx and tinyproxy on loopback ---
if(TARGET velvane-get)
  if(WIN32)
    add_test(NAME http_real_servers
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/http_real_servers.sh $<TARGET_FILE:velvane-get>
              ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template)
  else()
    add_test(NAME http_real_servers
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/http_real_servers.sh $<TARGET_FILE:velvane-get>)
  endif()
  set_tests_properties(http_real_servers PROPERTIES TIMEOUT 600)
endif()
# --- end HTTP client ---

# --- simulator: velvane-sim's service as a library and the running program ---
if(NOT WIN32 AND NOT VELVANE_FUZZ AND TARGET velvane-sim)
  set(velvane_sim_sources
      ${CMAKE_SOURCE_DIR}/tools/sim/sim_service.cpp
      ${CMAKE_SOURCE_DIR}/tools/sim/sim_weather.cpp
      ${CMAKE_SOURCE_DIR}/tools/sim/sim_open_data.cpp
      ${CMAKE_SOURCE_DIR}/tools/sim/sim_search.cpp
      ${CMAKE_SOURCE_DIR}/tools/place_text.cpp)
  if(TARGET test_sim_service)
    target_sources(test_sim_service PRIVATE ${velvane_sim_sources})
    set_tests_properties(test_sim_service PROPERTIES TIMEOUT 300)
  endif()
  if(TARGET test_sim_server)
    add_dependencies(test_sim_server velvane-sim velvane-scrape)
    target_compile_definitions(test_sim_server PRIVATE
      VELVANE_SIM_PATH="$<TARGET_FILE:velvane-sim>"
      VELVANE_SCRAPE_PATH="$<TARGET_FILE:velvane-scrape>")
    target_sources(test_sim_server PRIVATE ${velvane_sim_sources})
    set_tests_properties(test_sim_server PROPERTIES TIMEOUT 300)
  endif()
endif()
# --- end simulator ---

# --- end to end: velvane.exe against the simulator, driven from outside ---
# The simulator, velvane-scrape and velvane-catalogue are native programs:
# scripts/test builds them in the native build and names its tools folder.
set(VELVANE_NATIVE_TOOLS "" CACHE PATH
    "tools folder of a native build (velvane-sim, velvane-scrape, velvane-catalogue) for the end-to-end tests")
if(WIN32 AND TARGET velvane AND TARGET velvane-probe)
  # The program with every name lookup stuck (a seam set before WinMain),
  # for the case of a UI that never waits on the network.
  add_executable(velvane-stuck-lookup WIN32 ${CMAKE_SOURCE_DIR}/app/main_win.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/win/stuck_lookup_seam.cpp)
  target_link_libraries(velvane-stuck-lookup PRIVATE velvane_core velvane_res)
  if(VELVANE_NATIVE_TOOLS)
    add_test(NAME e2e_tests
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/e2e_tests.sh
              ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template
              $<TARGET_FILE:velvane-probe> $<TARGET_FILE:velvane>
              ${VELVANE_NATIVE_TOOLS}/velvane-sim ${VELVANE_NATIVE_TOOLS}/velvane-scrape
              ${VELVANE_NATIVE_TOOLS}/velvane-catalogue ${CMAKE_BINARY_DIR}/screenshots
              $<TARGET_FILE:velvane-stuck-lookup>)
    set_tests_properties(e2e_tests PROPERTIES TIMEOUT 600)
  else()
    message(STATUS "end-to-end tests left out: VELVANE_NATIVE_TOOLS names no native tools folder")
  endif()
endif()
# --- end end to end ---

# --- the place search: found places end to end against the simulator ---
if(WIN32 AND TARGET velvane AND TARGET velvane-probe AND VELVANE_NATIVE_TOOLS)
  add_test(NAME search_tests
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/search_tests.sh
            ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template
            $<TARGET_FILE:velvane-probe> $<TARGET_FILE:velvane>
            ${VELVANE_NATIVE_TOOLS}/velvane-sim ${VELVANE_NATIVE_TOOLS}/velvane-scrape
            ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(search_tests PROPERTIES TIMEOUT 600)
endif()
# --- end the place search ---

# --- the panel as a user meets it: taskbar, keys, 144 dots per inch ---
if(WIN32 AND TARGET velvane AND TARGET velvane-probe AND VELVANE_NATIVE_TOOLS)
  add_test(NAME panel_tests
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/panel_tests.sh
            ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template
            $<TARGET_FILE:velvane-probe> $<TARGET_FILE:velvane>
            ${VELVANE_NATIVE_TOOLS}/velvane-sim ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(panel_tests PROPERTIES TIMEOUT 600)
endif()
# --- end the panel ---

# --- release package: scripts/package, its zip and installer under Wine ---
if(WIN32 AND TARGET velvane AND TARGET velvane-probe)
  add_test(NAME package_test
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/package_test.sh
            ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template
            $<TARGET_FILE:velvane-probe> $<TARGET_FILE:velvane> ${CMAKE_SOURCE_DIR}/scripts/package)
  set_tests_properties(package_test PROPERTIES TIMEOUT 600)
endif()
# --- end release package ---

# --- behind Squid: the pages and the open data over HTTPS through a real proxy ---
if(WIN32 AND TARGET velvane AND TARGET velvane-probe AND TARGET velvane-settings AND TARGET velvane-trust
   AND VELVANE_NATIVE_TOOLS)
  add_test(NAME squid_tests
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/squid_tests.sh
            ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine-template
            $<TARGET_FILE:velvane-probe> $<TARGET_FILE:velvane> $<TARGET_FILE:velvane-settings>
            ${VELVANE_NATIVE_TOOLS}/velvane-sim ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(squid_tests PROPERTIES TIMEOUT 600)
endif()
# --- end behind Squid ---

# --- scheduling: the longest tests first ---
# ctest starts tests in the order of their cost, known from the last run; a
# fresh build has none, so the long Wine tests say theirs (seconds, roughly)
# and start first instead of last, when nothing is left to run beside them.
foreach(pair e2e_tests:340 app_tests:70 panel_tests:55 squid_tests:50 package_test:48 http_real_servers:45
             search_tests:40 velvane_settings_dump:40 test_panel:50)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 name)
  list(GET pair 1 seconds)
  if(TEST ${name})
    set_tests_properties(${name} PROPERTIES COST ${seconds})
  endif()
endforeach()
# --- end scheduling ---
