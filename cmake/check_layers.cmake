# Fails when a file of a lower core layer includes a header of a higher one.
# The link lines keep the libraries from calling upward; this keeps the headers
# honest too. Run as a test: cmake -DROOT=<source dir> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
set(layers text link payment)
set(allowed_text text)
set(allowed_link text link)

set(offences "")
foreach(layer text link)
  file(GLOB sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
      if(folder IN_LIST layers AND NOT folder IN_LIST allowed_${layer})
        file(RELATIVE_PATH name "${ROOT}" "${source}")
        string(APPEND offences "  ${name}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(offences)
  message(FATAL_ERROR "A lower layer includes a higher one:\n${offences}")
endif()
