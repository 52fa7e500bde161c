// What both windows say about an error that ends their start-up: the
// "Application Error" box's text, with the error's kind and the program file.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace pcpos::startup {

// The error's kind as the box names it: its type's name, demangled where the
// compiler allows.
std::string ErrorKind(const std::exception& error);

// "Exception <kind> in module <program file's name> at <address>.\r\n<message>.\r\n".
// The address of a C++ throw is not known; the caller's own entry stands in.
std::string StartupErrorReport(const std::exception& error, std::string_view program_path,
                               std::uintptr_t address);

}  // namespace pcpos::startup
