#include "startup/demo.h"

#include <stdexcept>
#include <string>

#ifdef PCPOS_STARTUP_DEMO
#include "simulator/in_process.h"
#else
// A build without the simulator never makes one; the reader's owner still needs
// a complete type to be destroyed.
namespace pcpos::sim {
class InProcessSimulator {};
}  // namespace pcpos::sim
#endif

namespace pcpos::startup {

#ifdef PCPOS_STARTUP_DEMO
SimulatedReader::SimulatedReader() : server_(std::make_unique<sim::InProcessSimulator>()) {
  std::string error;
  if (!server_->Start(0, error)) {
    throw std::runtime_error("The simulated card reader cannot listen: " + error);
  }
}

SimulatedReader::~SimulatedReader() = default;

std::uint16_t SimulatedReader::port() const { return server_->port(); }
#else
SimulatedReader::SimulatedReader() {
  throw std::runtime_error("This build has no simulated card reader (--demo)");
}

SimulatedReader::~SimulatedReader() = default;

std::uint16_t SimulatedReader::port() const { return 0; }
#endif

std::unique_ptr<SimulatedReader> StartDemo(StartupInputs& inputs) {
  if (!inputs.demo) return nullptr;
  auto reader = std::make_unique<SimulatedReader>();
  inputs.host = "127.0.0.1";
  inputs.port = std::to_string(reader->port());
  return reader;
}

}  // namespace pcpos::startup
