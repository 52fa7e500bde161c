# The icon and version resources of a Windows console program (the window has
# its own, with its manifest, in win32/pcpos-tester.rc). The calling directory
# enables the RC language first.
include_guard(GLOBAL)

function(pcpos_windows_resources target description)
  set(PCPOS_RC_NAME ${target})
  set(PCPOS_RC_DESCRIPTION ${description})
  set(PCPOS_RC_ICON ${PROJECT_SOURCE_DIR}/ui/resources/logo.ico)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${PCPOS_RC_ICON})
  target_sources(${target} PRIVATE ${rc})
endfunction()
