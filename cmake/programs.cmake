# The two programs: one windowed executable per tool, built into one folder and installed
# side by side, because each starts the other by bare file name from its own folder.
include_guard(GLOBAL)
include(GNUInstallDirs)

# qm_add_program(TARGET FILE_NAME WINDOW_LIBRARY WIN32_RC): the program, where this build
# has a toolkit backend (qm_gui); on Windows with its resources (icon, version, manifest).
function(qm_add_program target file_name window_library win32_rc)
  if(NOT TARGET qm_gui)
    return()
  endif()
  add_executable(${target} WIN32 main.cpp)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME "${file_name}"
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  target_link_libraries(${target} PRIVATE ${window_library} qm_gui)
  if(WIN32)
    include(${PROJECT_SOURCE_DIR}/cmake/win32-programs.cmake)
    qm_add_win32_resources(${target} ${win32_rc})
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
