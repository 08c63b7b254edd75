# The Windows-only suites and the Wine checks of the two programs.
# The prefix is made for the width of this build's programs (the probe's).
add_test(NAME wine_setup COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-setup ${CMAKE_BINARY_DIR}/wine
                                 $<TARGET_FILE:win32_probe>)
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine SKIP_RETURN_CODE 77)

qm_test(win32_platform_test win32_platform_test.cpp win32_savefile_test.cpp)
target_link_libraries(win32_platform_test PRIVATE qm_settings)

# The Win32 backend, with the control contract that the headless and Qt backends keep too.
qm_test(win32_backend_test win32_backend_test.cpp win32_backend_lists_test.cpp win32_keys_test.cpp
        win32_busy_test.cpp win32_last_run_test.cpp contract_win32_test.cpp)
target_link_libraries(win32_backend_test PRIVATE qm_win32 qm_copytool qm_setuptool)

# A console helper that reads another program's windows for the Wine checks below.
add_executable(win32_probe win32_probe.cpp)
target_link_libraries(win32_probe PRIVATE qm_os shell32)

if(TARGET qm_copytool_app)
  qm_test(win32_resources_test win32_resources_test.cpp)
  target_link_libraries(win32_resources_test PRIVATE qm_os version)
  target_compile_definitions(win32_resources_test PRIVATE
                             QM_COPYTOOL_EXE="$<TARGET_FILE:qm_copytool_app>")
  add_dependencies(win32_resources_test qm_copytool_app)
  if(TARGET qm_setuptool_app)
    target_compile_definitions(win32_resources_test PRIVATE
                               QM_SETUPTOOL_EXE="$<TARGET_FILE:qm_setuptool_app>")
    add_dependencies(win32_resources_test qm_setuptool_app)
  endif()
endif()

# Windowed, statically linked: only system DLLs imported.
set(QM_OBJDUMP ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump)
foreach(app copytool setuptool)
  if(NOT TARGET qm_${app}_app)
    continue()
  endif()
  add_test(NAME win32_${app}_imports
           COMMAND ${CMAKE_SOURCE_DIR}/tools/check-exe ${QM_OBJDUMP} $<TARGET_FILE:qm_${app}_app>)
  # The other program, when built, for the run with both programs in one folder.
  set(other_exe "")
  foreach(other copytool setuptool)
    if(NOT other STREQUAL app AND TARGET qm_${other}_app)
      set(other_exe $<TARGET_FILE:qm_${other}_app>)
    endif()
  endforeach()
  add_test(NAME wine_${app}_e2e
           COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-e2e ${app} $<TARGET_FILE:qm_${app}_app>
                   $<TARGET_FILE:win32_probe> ${CMAKE_BINARY_DIR}/e2e ${other_exe})
  set_tests_properties(wine_${app}_e2e PROPERTIES SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine
                       RUN_SERIAL ON TIMEOUT 180
                       ENVIRONMENT "QM_WINE_HOME=${CMAKE_BINARY_DIR}/wine")
endforeach()

# Focus and keyboard of both programs under a window manager: the focused control comes
# back after boxes, pickers and window switches; a plain letter presses no button.
if(TARGET qm_copytool_app AND TARGET qm_setuptool_app)
  add_test(NAME wine_focus_e2e
           COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-focus-e2e $<TARGET_FILE:qm_copytool_app>
                   $<TARGET_FILE:qm_setuptool_app> $<TARGET_FILE:win32_probe>
                   ${CMAKE_BINARY_DIR}/e2e-focus)
  set_tests_properties(wine_focus_e2e PROPERTIES SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine
                       RUN_SERIAL ON TIMEOUT 300
                       ENVIRONMENT "QM_WINE_HOME=${CMAKE_BINARY_DIR}/wine")
endif()

# The settings file between the two programs: a folder named outside code page 932
# saved and copied, a Copy.Copy that is no plain file.
if(TARGET qm_setuptool_app AND TARGET qm_copytool_app)
  add_test(NAME wine_settings_e2e
           COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-e2e-settings $<TARGET_FILE:qm_setuptool_app>
                   $<TARGET_FILE:qm_copytool_app> $<TARGET_FILE:win32_probe> ${CMAKE_BINARY_DIR}/e2e)
  set_tests_properties(wine_settings_e2e PROPERTIES SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine
                       RUN_SERIAL ON TIMEOUT 240
                       ENVIRONMENT "QM_WINE_HOME=${CMAKE_BINARY_DIR}/wine")
endif()

qm_test(win32_filesystem_test win32_filesystem_test.cpp)
target_link_libraries(win32_filesystem_test PRIVATE qm_win32)

qm_test(win32_copy_test win32_copy_test.cpp win32_copy_rules_test.cpp win32_copy_links_test.cpp
        win32_copy_faults_test.cpp)
target_link_libraries(win32_copy_test PRIVATE qm_win32)

# Program start by bare name, with copies of the probe as the started programs.
qm_test(win32_start_test win32_start_test.cpp)
target_link_libraries(win32_start_test PRIVATE qm_win32)
target_compile_definitions(win32_start_test PRIVATE QM_PROBE_EXE="$<TARGET_FILE:win32_probe>")
add_dependencies(win32_start_test win32_probe)

# The copy onto a FAT32 volume mounted with FUSE and given to Wine as a drive; skips where
# the machine cannot mount it.
qm_test(win32_fat_test win32_fat_test.cpp)
target_link_libraries(win32_fat_test PRIVATE qm_win32)
add_test(NAME wine_fat_copy
         COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-fat-check $<TARGET_FILE:win32_fat_test>
                 ${CMAKE_BINARY_DIR}/wine-fat)
set_tests_properties(wine_fat_copy PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
# The same copies onto a FAT volume whose driver reads times in Tokyo time (nine hours off).
add_test(NAME wine_fat_copy_tokyo
         COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-fat-check $<TARGET_FILE:win32_fat_test>
                 ${CMAKE_BINARY_DIR}/wine-fat-tokyo --gtest_filter=Win32Fat.ACopy*)
set_tests_properties(wine_fat_copy_tokyo PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180
                     ENVIRONMENT QM_FAT_TZ=Asia/Tokyo)

# The read-back onto the tests' own FUSE volume that hands back other bytes than it was
# given, as Wine's drive F:.
qm_test(win32_read_back_test win32_read_back_test.cpp)
target_link_libraries(win32_read_back_test PRIVATE qm_win32)
add_test(NAME wine_read_back
         COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-fat-check $<TARGET_FILE:win32_read_back_test>
                 ${CMAKE_BINARY_DIR}/wine-lying)
set_tests_properties(wine_read_back PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180
                     ENVIRONMENT "QM_WINE_VOLUME=lying")

