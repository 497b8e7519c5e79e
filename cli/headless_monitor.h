#pragma once
// The headless front end of the monitor thread: one connection, values on stdout, messages on
// stderr, an optional log file, positions from gpsd (tried quietly at its default address; asked
// for with --gpsd, its state goes with each cycle of the text output and a gpsd that does not
// answer is said once on stderr). Ends after a number of poll cycles, on SIGINT, SIGTERM or SIGHUP
// (as the disconnect button does), when standard output cannot be written, or when the
// connection ends by itself.

#include <string>

#include "cli/value_output.h"
#include "sites/site_publisher.h"

namespace cli {

struct MonitorOptions {
  std::string port;  // "COM3" or a device path
  int speed = 9600;  // baud
  int cycles = 0;    // complete poll cycles before stopping; 0 runs until stopped
  OutputFormat format = OutputFormat::text;
  bool rawFields = false;               // jsonl: every value as the report delivered it, too
  std::string logFile;                  // empty: no log file
  bool logRequested = false;            // --log was given, so an empty name is refused rather than ignored
  std::string gpsd = "localhost:2947";  // where positions come from: HOST:PORT
  bool gpsdRequested = false;           // --gpsd was given: its state is told, not only tried
  bool noGps = false;                   // record no positions
  int levelThreshold = -100;            // dBm: the serving level below it is an event, and rising to it again
  sites::MqttSettings mqtt;             // publishing of the cycles to a broker, when its URL is set
  std::string dialect;                  // the modem family's dialect; "" picks it from the identity
};

// Exit status: 0 after a normal end; 1 when an error was shown (the port does not open, the
// modem does not answer, the log or standard output cannot be written, the broker's address or
// password file is wrong); 2 when the connection ended by itself. With a broker, the cycles still
// queued at the end get up to 10 s to go out (a second stop request ends the wait).
// Call once per process, from the main thread.
int RunHeadlessMonitor(const MonitorOptions& options);

}  // namespace cli
