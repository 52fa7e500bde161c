# Hardened Release builds: the flags Debian's dpkg-buildflags gives for
# hardening (with bindnow, stack-clash and CET protection added), for the
# programs built here and the libraries they are made of. Only in the Release
# configuration with GCC or Clang on an ELF platform, and only when the caller
# brings no flags of their own (CXXFLAGS/LDFLAGS or CMAKE_CXX_FLAGS and the
# linker flags, as a distribution's build does): their choice wins. Sanitizer
# and fuzz builds are left alone, their runtimes bring their own checks.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

function(pcpos_hardening_flags out_compile out_link)
  set(compile "")
  set(link "")
  set(own_flags "${CMAKE_CXX_FLAGS}${CMAKE_EXE_LINKER_FLAGS}${CMAKE_SHARED_LINKER_FLAGS}")
  string(STRIP "${own_flags}" own_flags)
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Release" OR own_flags OR PCPOS_SANITIZE OR PCPOS_BUILD_FUZZ
     OR WIN32 OR APPLE OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    set(${out_compile} "" PARENT_SCOPE)
    set(${out_link} "" PARENT_SCOPE)
    return()
  endif()
  # Checked one by one: an older compiler lacks the newer ones.
  foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "PCPOS_HAS${flag}" has)
    check_cxx_compiler_flag(${flag} ${has})
    if(${has})
      list(APPEND compile ${flag})
    endif()
  endforeach()
  list(APPEND compile -Wformat -Werror=format-security -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
  list(APPEND link -Wl,-z,relro -Wl,-z,now)
  set(${out_compile} "${compile}" PARENT_SCOPE)
  set(${out_link} "${link}" PARENT_SCOPE)
endfunction()

pcpos_hardening_flags(PCPOS_HARDENING_COMPILE PCPOS_HARDENING_LINK)
if(PCPOS_HARDENING_COMPILE)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(${PCPOS_HARDENING_COMPILE})
  add_link_options(${PCPOS_HARDENING_LINK})
  list(JOIN PCPOS_HARDENING_COMPILE " " shown)
  message(STATUS "Hardened Release build: ${shown} PIE -Wl,-z,relro,-z,now")
endif()
