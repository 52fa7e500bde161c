# Keeps every folder of the product in its layer, from the bottom up:
#   text < link < payment < acceptance < screen < startup
#   < the front ends ui, win32, cli
# with the simulator beside them, standing on the text leaf alone (startup runs
# it for the windows' --demo). It fails when
#   - a file includes a header of a folder above its own, or of a front end
#     other than its own (no front end includes another);
#   - a file outside ui/ includes Qt;
#   - a folder's CMakeLists.txt compiles a source of another folder: each
#     folder's code is built in its own library and reached by linking it.
# The link lines keep the libraries from calling upward; this keeps the headers
# and the source lists honest too.
# Run as a test: cmake -DROOT=<source dir> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
set(folders text link payment acceptance screen startup ui win32 cli simulator tests bench fuzz)
set(allowed_text text)
set(allowed_link text link)
set(allowed_payment text link payment)
set(allowed_acceptance text link payment acceptance)
set(allowed_screen text link payment acceptance screen)
set(allowed_startup text link payment acceptance screen startup simulator)
set(allowed_ui text link payment acceptance screen startup ui)
set(allowed_win32 text link payment acceptance screen startup win32)
set(allowed_cli text link payment acceptance screen startup cli)
set(allowed_simulator text simulator)
set(checked text link payment acceptance screen startup ui win32 cli simulator)
set(toolkit_allowed ui)

set(offences "")
foreach(layer IN LISTS checked)
  file(GLOB sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH name "${ROOT}" "${source}")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
      if(folder IN_LIST folders AND NOT folder IN_LIST allowed_${layer})
        string(APPEND offences "  ${name}: ${line}\n")
      endif()
    endforeach()
    if(NOT layer IN_LIST toolkit_allowed)
      file(STRINGS "${source}" toolkit REGEX "^[ \t]*#[ \t]*include[ \t]+[<\"]Q")
      foreach(line IN LISTS toolkit)
        string(APPEND offences "  ${name}: ${line} (only ui/ knows Qt)\n")
      endforeach()
    endif()
  endforeach()

  # A source named by a path that leaves the folder: another folder's file.
  set(lists "${ROOT}/${layer}/CMakeLists.txt")
  if(EXISTS "${lists}")
    file(STRINGS "${lists}" foreign
         REGEX "(\\.\\./|_SOURCE_DIR}/)[^ \t\")]*\\.(cpp|cc|c|h)([ \t\")]|$)")
    foreach(line IN LISTS foreign)
      string(STRIP "${line}" line)
      string(APPEND offences "  ${layer}/CMakeLists.txt compiles another folder's source: ${line}\n")
    endforeach()
  endif()
endforeach()

if(offences)
  message(FATAL_ERROR "A folder reaches outside its layer:\n${offences}")
endif()
