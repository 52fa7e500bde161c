# The project's warnings, set on its own targets only: Qt, GoogleTest and the
# other libraries it builds against are not held to them. -Werror only with
# PCPOS_WERROR, so that a plain build works with a newer compiler.
function(pcpos_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(PCPOS_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion
                                              -Wpedantic $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
    if(PCPOS_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# pcpos_warnings for every target that compiles code in `dir` and the folders
# below it, so that a target added later cannot be missed.
function(pcpos_warnings_below dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      pcpos_warnings(${target})
    endif()
  endforeach()
  get_property(folders DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(folder IN LISTS folders)
    pcpos_warnings_below("${folder}")
  endforeach()
endfunction()
