# The two programs: one windowed executable per tool, built into one folder and installed
# side by side, because each starts the other by bare file name from its own folder.
include_guard(GLOBAL)
include(GNUInstallDirs)

# Linux install: both programs in a private folder, where each finds the other by its
# own name, and a lower-case command on the PATH for each. The program files carry the
# command names (tools such as lintian read a name ending in "(...)" as an archive
# member); the programs' own names are links to them in the same folder. The running
# program's folder comes from /proc/self/exe, which names the file, not a link to it.
# Links are relative, so the tree can be installed under any prefix.
set(QM_PROGRAM_DIR lib/quillmar CACHE STRING "Folder of both programs, under the prefix")

# qm_install_link(LINK_FOLDER LINK_NAME TARGET_PATH): installs a relative symbolic link
# LINK_FOLDER/LINK_NAME to TARGET_PATH (both folders relative to the prefix).
function(qm_install_link folder name target_path)
  file(RELATIVE_PATH relative /prefix/${folder} /prefix/${target_path})
  set(link ${CMAKE_BINARY_DIR}/install-links/${folder}/${name})
  get_filename_component(link_folder ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${link_folder})
  file(CREATE_LINK ${relative} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION ${folder})
endfunction()

function(qm_install_program target file_name)
  # The command of each program: TARGET=COMMAND.
  set(commands qm_copytool_app=quillmar qm_setuptool_app=quillmar-setter)
  list(FILTER commands INCLUDE REGEX "^${target}=")
  if(NOT commands)
    message(FATAL_ERROR "cmake/programs.cmake: no command name for ${target}")
  endif()
  string(REPLACE "${target}=" "" command "${commands}")

  install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${QM_PROGRAM_DIR} RENAME ${command})
  # Stripped like an installed target when asked (cmake --install --strip, CPack).
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\"
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QM_PROGRAM_DIR}/${command}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
  qm_install_link(${QM_PROGRAM_DIR} "${file_name}" ${QM_PROGRAM_DIR}/${command})
  qm_install_link(${CMAKE_INSTALL_BINDIR} ${command} ${QM_PROGRAM_DIR}/${command})
endfunction()

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
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    qm_install_program(${target} "${file_name}")
  endif()
endfunction()
