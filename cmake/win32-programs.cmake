# Windows builds of the two programs: resources (icon, version, manifest) and windowed exes.
include_guard(GLOBAL)
enable_language(RC)

function(qm_add_win32_resources target rc)
  # Source properties belong to the calling directory, the one that defines the target.
  set(QM_WIN32_RESOURCES ${CMAKE_SOURCE_DIR}/resources/win32)
  set(file ${QM_WIN32_RESOURCES}/${rc})
  set_property(SOURCE ${file} APPEND PROPERTY INCLUDE_DIRECTORIES ${QM_WIN32_RESOURCES})
  set_property(SOURCE ${file} APPEND PROPERTY OBJECT_DEPENDS
               ${QM_WIN32_RESOURCES}/app.manifest ${QM_WIN32_RESOURCES}/copytool.ico
               ${QM_WIN32_RESOURCES}/setuptool.ico)
  target_sources(${target} PRIVATE ${file})
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  # The header declares the system the imports really need (Vista, 6.0: the copy engine imports
  # GetFinalPathNameByHandleW); the shipped file carries no symbol table.
  target_link_options(${target} PRIVATE -s
                      -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
                      -Wl,--major-os-version,6,--minor-os-version,0)
endfunction()
