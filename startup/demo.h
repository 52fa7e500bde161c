// --demo: the simulated card reader inside the window program, so that the
// window can be tried with no reader and no other program.
#pragma once

#include <cstdint>
#include <memory>

#include "startup/options.h"

namespace pcpos::sim {
class InProcessSimulator;
}

namespace pcpos::startup {

// Listens on a free port of 127.0.0.1 from construction until destruction; the
// window that uses it must go first.
class SimulatedReader {
 public:
  // Throws std::runtime_error when it cannot listen, or when the program was
  // built without the simulator.
  SimulatedReader();
  ~SimulatedReader();
  SimulatedReader(const SimulatedReader&) = delete;
  SimulatedReader& operator=(const SimulatedReader&) = delete;

  std::uint16_t port() const;

 private:
  std::unique_ptr<sim::InProcessSimulator> server_;
};

// With --demo, starts the reader and points the inputs' address and port at
// it; without, returns null and leaves the inputs as they are.
std::unique_ptr<SimulatedReader> StartDemo(StartupInputs& inputs);

}  // namespace pcpos::startup
