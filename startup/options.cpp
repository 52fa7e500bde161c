#include "startup/options.h"

#include <utility>

namespace pcpos::startup {

StartupInputs ParseCommandLine(const std::vector<std::string>& arguments) {
  StartupInputs inputs;
  const std::pair<std::string_view, std::optional<std::string>*> options[] = {
      {"--host", &inputs.host},       {"--port", &inputs.port},   {"--amount", &inputs.amount},
      {"--log-dir", &inputs.log_dir}, {"--suite", &inputs.suite},
  };
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h" || argument == "/?") {
      inputs.help = true;
      continue;
    }
    if (argument == "--demo") {
      inputs.demo = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string_view name = std::string_view(argument).substr(0, equals);
    std::optional<std::string>* value = nullptr;
    for (const auto& [option, target] : options) {
      if (name == option) value = target;
    }
    if (value != nullptr) {
      if (equals != std::string::npos) {
        *value = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        *value = arguments[++i];
      } else {
        throw UsageError("Missing value after '" + argument + "'");
      }
    } else if (argument.starts_with("-")) {
      throw UsageError("Unknown option '" + std::string(name) + "'");
    } else {
      throw UsageError("Unexpected argument '" + argument + "'");
    }
  }
  return inputs;
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
  try {
    return ParseCommandLine(arguments).help;
  } catch (const UsageError&) {
    return false;
  }
}

std::string UsageText() {
  // Each description on a line of its own below its option: columns would not
  // line up in a message box's proportional font.
  return "Sends one purchase to a PC-POS card reader.\n"
         "\n"
         "Usage: pcpos-tester [options]\n"
         "\n"
         "Options:\n"
         "  --host ADDRESS\n"
         "      the card reader's address\n"
         "  --port PORT\n"
         "      the card reader's port\n"
         "  --amount AMOUNT\n"
         "      the amount to collect\n"
         "  --log-dir FOLDER\n"
         "      the folder of the response log and the journal\n"
         "  --demo\n"
         "      a simulated card reader in this program,\n"
         "      the window pointed at it\n"
         "  --suite FILE|install\n"
         "      guide an acceptance run of the suite in FILE,\n"
         "      or of the built-in installation check;\n"
         "      the report goes into the log folder\n"
         "  -h, --help\n"
         "      this text\n"
         "\n"
         "A value may also follow \"=\": --port=9053.\n";
}

acceptance::Suite LoadStartupSuite(const std::string& name_or_path) {
  acceptance::Suite suite;
  std::string error;
  if (!acceptance::LoadSuite(name_or_path, suite, error)) throw UsageError(error);
  return suite;
}

std::string UsageErrorText(std::string_view problem) {
  return std::string(problem) + ".\n\n" + UsageText();
}

}  // namespace pcpos::startup
