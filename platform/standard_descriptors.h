#pragma once
// Start-up guard of descriptors 0, 1 and 2.

namespace platform {

// Makes sure descriptors 0, 1 and 2 are open, so that no file opened later (a log, the port)
// gets one of their numbers and receives output meant for the terminal. A closed one is opened
// on /dev/null in the opposite direction (standard input for writing, standard output and error
// for reading), so every use of it still fails as it did while it was closed: output to a closed
// standard output stays a failed write. Call first thing in main.
void GuardStandardDescriptors();

}  // namespace platform
