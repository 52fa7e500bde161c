// How the operating system's interrupts reach the client: Ctrl-C and its
// kind cancel the payment and end the series; losing the terminal or the
// reader of the output ends no payment early.
#pragma once

namespace pcpos {

class CliInterrupt;

// Installs the handlers for the life of the process; `interrupt` must outlive it.
void InstallInterruptHandlers(CliInterrupt& interrupt);

}  // namespace pcpos
