# The Windows-only suites and the Wine checks of the two programs.
add_test(NAME wine_setup COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-setup ${CMAKE_BINARY_DIR}/wine)
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine SKIP_RETURN_CODE 77)

qm_test(win32_platform_test win32_platform_test.cpp)
target_link_libraries(win32_platform_test PRIVATE qm_settings)

qm_test(win32_backend_test win32_backend_test.cpp)
target_link_libraries(win32_backend_test PRIVATE qm_win32 qm_copytool)
