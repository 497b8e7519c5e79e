#include "log/log_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "log/log_viewer.h"
#include "platform/read_only_file.h"

namespace gsmlog {

namespace {

// Reads records from buffers that hold the file piece by piece.
class RecordScanner {
 public:
  RecordScanner(LogRead& read, const LogRecordSink& sink) : read_(read), sink_(sink) {
    InitLogReader(reader_, nullptr, 0);
  }

  // Reads the records of data, whose first byte is at offset base of the file. Unless atEnd, a
  // record is read only while a whole one fits in what is left, so none straddles two pieces.
  // Gives the bytes used; Done() tells whether reading has ended.
  std::size_t Scan(const std::uint8_t* data, std::size_t size, std::uint64_t base, bool atEnd) {
    reader_.Data = data;
    reader_.Size = size;
    reader_.Pos = 0;
    while (!done_ && (atEnd || size - reader_.Pos >= kMaxLogRecord)) {
      record_.offset = base + reader_.Pos;
      ReadStop stop = ReadStop::none;
      if (!ReadLogRecord(reader_, record_.code, record_.text, &stop)) {
        keeper_.Stop(record_.offset, stop);
        read_.stop = stop;
        read_.stopOffset = record_.offset;
        done_ = true;
        break;
      }
      record_.number = ++read_.records;
      record_.check = keeper_.Record(record_.offset, base + reader_.Pos, record_.code, record_.text, stop,
                                     reader_.ExpectedChecksum);
      record_.expected.clear();
      if (record_.code == kChecksumCode) record_.expected = reader_.ExpectedChecksum;
      if (sink_ && !sink_(record_)) End(base + reader_.Pos);
    }
    return reader_.Pos;
  }

  // Reading ended by the caller at offset.
  void End(std::uint64_t offset) {
    read_.stop = ReadStop::none;
    read_.stopOffset = offset;
    read_.stopped = true;
    done_ = true;
  }

  bool Done() const { return done_; }

  void Finish(std::uint64_t total) {
    read_.ok = true;
    read_.verdict = keeper_.Finish(total);
  }

 private:
  LogRead& read_;
  const LogRecordSink& sink_;
  TLogReader reader_;
  VerdictKeeper keeper_;
  LogRecord record_;
  bool done_ = false;
};

}  // namespace

LogRead ReadLogRecords(const std::uint8_t* data, std::size_t size, const LogRecordSink& sink) {
  LogRead read;
  if (data == nullptr || size == 0) {
    read.verdict = VerdictKeeper().Finish(0);
    return read;
  }
  RecordScanner scanner(read, sink);
  scanner.Scan(data, size, 0, true);
  scanner.Finish(size);
  return read;
}

LogRead ReadLogRecords(const std::string& fileName, const LogRecordSink& sink, const LogReadProgress& progress) {
  LogRead read;
  const platform::ReadOnlyFile file(fileName);
  if (file.IsFolder()) {
    read.error = ReadFailedMessage(fileName);
    read.cause = file.Error();
    return read;
  }
  if (file.Fd() < 0) {
    read.error = OpenFailedMessage(fileName);
    read.cause = file.Error();
    return read;
  }
  struct stat info {};
  const std::uint64_t size = ::fstat(file.Fd(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;

  // One chunk and room for a whole record behind it.
  constexpr std::size_t kChunk = 1u << 20;
  constexpr std::size_t kCapacity = kChunk + kMaxLogRecord;
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kCapacity]);
  RecordScanner scanner(read, sink);
  std::size_t held = 0;
  std::uint64_t base = 0;
  for (;;) {
    const ssize_t got = ::read(file.Fd(), buffer.get() + held, kCapacity - held);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || (got == 0 && base + held == 0)) {
      if (got < 0) read.cause = platform::DecodeSystemError(errno);
      read.error = ReadFailedMessage(fileName);
      return read;
    }
    const bool atEnd = got == 0;
    held += static_cast<std::size_t>(got);
    const std::size_t used = scanner.Scan(buffer.get(), held, base, atEnd);
    if (scanner.Done() || atEnd) break;
    std::memmove(buffer.get(), buffer.get() + used, held - used);
    held -= used;
    base += used;
    if (progress && !progress(base + held, size)) {
      scanner.End(base);
      break;
    }
  }
  // The verdict weighs the file as it was read, which a writer may since have made longer.
  scanner.Finish(read.stopped ? size : std::max(size, base + held));
  return read;
}

LogVerdict ReadLogVerdict(const std::uint8_t* data, std::size_t size) { return ReadLogRecords(data, size, {}).verdict; }

LogRead ReadLogVerdict(const std::string& fileName) { return ReadLogRecords(fileName, {}); }

}  // namespace gsmlog
