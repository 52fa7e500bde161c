# Fails when a file of a lower layer includes a header of a higher one, or when
# the screen layer includes Qt. The link lines keep the libraries from calling
# upward; this keeps the headers honest too.
# Run as a test: cmake -DROOT=<source dir> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
set(layers text link payment acceptance screen ui win32 cli simulator)
set(allowed_text text)
set(allowed_link text link)
set(allowed_payment text link payment)
set(allowed_acceptance text link payment acceptance)
set(allowed_screen text link payment acceptance screen)

set(offences "")
foreach(layer text link payment acceptance screen)
  file(GLOB sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH name "${ROOT}" "${source}")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
      if(folder IN_LIST layers AND NOT folder IN_LIST allowed_${layer})
        string(APPEND offences "  ${name}: ${line}\n")
      endif()
    endforeach()
    # No layer below the windows knows a toolkit.
    file(STRINGS "${source}" toolkit REGEX "^[ \t]*#[ \t]*include[ \t]+[<\"]Q")
    foreach(line IN LISTS toolkit)
      string(APPEND offences "  ${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()

if(offences)
  message(FATAL_ERROR "A lower layer includes a higher one:\n${offences}")
endif()
