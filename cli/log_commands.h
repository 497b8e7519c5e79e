#pragma once
// The log file commands of the headless tool.

#include <string>

#include "export/log_export.h"

namespace cli {

// Every log command tells on stderr how far a log not read whole holds (cut short, or damaged at
// a byte, with the cycles and bytes read), and exits with 0 only for a log read to its end: whole,
// or cut short after its last cycle.

// The report of a log file on stdout: UTF-8 with LF line ends and control characters as '?', or
// raw (the report's own bytes: Windows-1251, CR LF). A file damaged after a matching seal still
// gets its report of what was read. A damaged or unreadable file, or output that cannot be
// written: the message on stderr and exit status 1.
int PrintLogReport(const std::string& fileName, bool raw);

// One line per record, printed as it is read: offset, code, the code's meaning, text; checksum
// records marked as matching or not; then where reading ended and the verdict. Exit status 1 when
// the file cannot be read or is damaged, or the output cannot be written.
int DumpLogFile(const std::string& fileName);

// Exports the poll cycles of a log (names in UTF-8, as given on the command line). formatName
// empty: the format follows the output's extension. Prints the number of cycles and events
// exported (and where the events went when they have a file of their own); exit
// status 1 on an error or a damaged log (whose cycles up to the damage are exported), 2 when the
// format is unknown.
int ExportLogFile(const std::string& fileName, const std::string& outName, const std::string& formatName,
                  bool overwrite, gsmexport::CsvDialect csvDialect = gsmexport::CsvDialect::standard);

}  // namespace cli
