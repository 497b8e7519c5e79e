#include "cli/log_filing.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "core/log_recorder.h"
#include "core/window_ops.h"
#include "log/log_record.h"
#include "log/log_writer.h"
#include "parser/cycle_fields.h"
#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "survey/survey_text.h"

namespace cli {
namespace {

// The recorder's window: a collector shows nothing but what LogFiling says itself.
class NoWindow : public core::WindowOps {
 public:
  void ShowConnectionState(core::ConnectionState) override {}
  void SetWindowLayout(core::WindowLayout) override {}
  core::PortSettings ReadPortSettings() override { return {}; }
  void ShowError(const std::string&) override {}
  void MarkFields(bool, parser::SweepPass) override {}
  void ShowValue(const radio::DeliveredField&) override {}
  void PrepareConnection() override {}
  void ExitProgram() override {}
};

// Write failures are said at most this often; those between are counted into the next line.
constexpr auto kSayEvery = std::chrono::seconds(10);
// Events kept for a run whose first cycle has not come yet.
constexpr std::size_t kMaxWaitingEvents = 64;

// The site's own local time of a cycle ("2026-12-08T14:26:42.123+03:00"), for the summary.
platform::LocalTime LocalTimeOf(const std::string& iso) {
  platform::LocalTime time;
  if (const auto parsed = survey::ParseIsoTime(iso)) {
    time = {parsed->year, parsed->month, parsed->day, parsed->hour, parsed->minute, parsed->second};
  }
  return time;
}

// "2026-12-09" gives 09122026, the log's own naming by date.
std::string DayName(const std::string& day) { return day.substr(8, 2) + day.substr(5, 2) + day.substr(0, 4); }

}  // namespace

std::string FailureCause(int error) {
  const std::string name(platform::ErrnoName(error));
  const auto with = [&](const char* text) { return std::string(text) + (name.empty() ? "" : " (" + name + ")"); };
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return with("нет места на диске");
    case EFBIG:
      return with("файл превысил допустимый размер");
    case EMFILE:
    case ENFILE:
      return with("слишком много открытых файлов");
    case EACCES:
    case EPERM:
    case EROFS:
      return with("нет прав на запись");
    case 0:
      return "запись не принята";
    default:
      return with("ошибка ввода-вывода");
  }
}

struct LogFiling::RunLog {
  std::string session;
  std::string day;  // "YYYY-MM-DD" of the log's cycles
  gsmlog::TLogWriter writer;
  NoWindow window;
  std::unique_ptr<core::LogRecorder> recorder;
  bool started = false;
  NumberRanges written;  // the run's cycle numbers in this log
  long cyclesInLog = 0;
  std::string firstTime, lastTime;
  std::vector<std::string> events;  // event records waiting for the next seal
  std::set<std::string> eventsWritten;
  std::uint64_t lastUse = 0;
  // The cycle being sealed: its own records go in just before the seal.
  const sites::ParsedCycle* sealing = nullptr;
  int failure = 0;  // errno of the last failure told by the recorder
};

LogFiling::LogFiling(std::filesystem::path dir, std::function<void(const std::string&)> say, std::size_t maxOpenLogs)
    : dir_(std::move(dir)), say_(std::move(say)), maxOpenLogs_(maxOpenLogs == 0 ? 1 : maxOpenLogs) {}

LogFiling::~LogFiling() = default;

void LogFiling::Failed(const std::string& message, int error) {
  ++failures_;
  const auto now = std::chrono::steady_clock::now();
  if (lastSaid_ != std::chrono::steady_clock::time_point{} && now - lastSaid_ < kSayEvery) {
    ++unsaid_;
    return;
  }
  std::string line = message + ": " + FailureCause(error);
  if (unsaid_ > 0) line += " (и ещё сбоев записи: " + std::to_string(unsaid_) + ")";
  unsaid_ = 0;
  lastSaid_ = now;
  say_(line);
}

LogFiling::RunLog& LogFiling::RunOf(const std::string& site, const std::string& session) {
  auto& run = sites_[site].runs[session];
  if (!run) {
    run = std::make_unique<RunLog>();
    run->session = session;
    RunLog* self = run.get();
    run->recorder = std::make_unique<core::LogRecorder>(
        run->window, run->writer, nullptr, nullptr, [self](gsmlog::TLogWriter& writer, const radio::Cycle&) {
          for (const std::string& event : self->events) writer.Hold(gsmlog::kCycleEventCode, event);
          if (self->sealing == nullptr) return;
          if (self->cyclesInLog == 1) writer.Hold(gsmlog::kRunSessionCode, self->session);
          writer.Hold(gsmlog::kRunCycleNumberCode, std::to_string(self->sealing->cycle.n));
          writer.Hold(gsmlog::kCycleTimeCode, self->sealing->time);
          if (self->sealing->cycle.position)
            writer.Hold(gsmlog::kCyclePositionCode, survey::FormatPosition(*self->sealing->cycle.position));
        });
    run->recorder->SetFailureShown([this, self](const std::string& message, platform::SystemError cause) {
      self->failure = cause.code;
      // Out of descriptors on a first try: Open closes the other logs and tries again.
      if (firstTry_ && (cause.code == EMFILE || cause.code == ENFILE)) return;
      Failed(platform::Cp1251ToPrintable(message), cause.code);
    });
  }
  return *run;
}

void LogFiling::CloseIdle(std::size_t keep, const RunLog* busy) {
  std::vector<RunLog*> open;
  for (auto& [level, site] : sites_) {
    for (auto& [session, run] : site.runs) {
      if (run.get() != busy && run->writer.IsOpen()) open.push_back(run.get());
    }
  }
  if (open.size() <= keep) return;
  std::sort(open.begin(), open.end(), [](const RunLog* a, const RunLog* b) { return a->lastUse < b->lastUse; });
  for (std::size_t i = 0; i + keep < open.size(); ++i) open[i]->writer.Suspend();
}

bool LogFiling::Open(Site& site, const std::string& level, RunLog& run, const sites::ParsedCycle* first) {
  run.lastUse = ++useCount_;
  if (run.writer.IsOpen()) return true;
  CloseIdle(maxOpenLogs_ - 1, &run);
  for (int attempt = 0; attempt < 2; ++attempt) {
    run.failure = 0;
    bool opened = false;
    if (run.started) {
      opened = run.writer.Resume();
      if (!opened) {
        if (auto failure = run.writer.TakeWriteFailure()) {
          run.failure = failure->cause.code;
          if (attempt == 1 || (run.failure != EMFILE && run.failure != ENFILE))
            Failed(platform::Cp1251ToPrintable(failure->message), run.failure);
        }
      }
    } else if (first != nullptr) {
      std::error_code error;
      const std::filesystem::path folder = dir_ / level;
      std::filesystem::create_directories(folder, error);
      firstTry_ = attempt == 0;
      opened = run.recorder->StartLog((folder / (DayName(run.day) + ".log")).string());
      firstTry_ = false;
      if (opened) {
        run.started = true;
        if (site.status.session == run.session) {
          if (!site.status.imei.empty()) run.writer.Field(parser::fcImei, 0, parser::TextValue(site.status.imei));
          if (!site.status.model.empty()) run.writer.Field(parser::fcModel, 0, parser::TextValue(site.status.model));
        }
      }
    }
    if (opened) return true;
    // Out of descriptors: every other log closes, and the open is tried once more.
    if (run.failure != EMFILE && run.failure != ENFILE) return false;
    CloseIdle(0, &run);
  }
  return false;
}

const NumberRanges& LogFiling::Earlier(const std::string& level, const std::string& session, const std::string& day) {
  const std::string key = level + "/" + session + "/" + day;
  if (auto it = earlier_.find(key); it != earlier_.end()) return it->second;
  NumberRanges& numbers = earlier_[key];
  const std::string prefix = DayName(day);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / level, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0 || entry.path().extension() != ".log") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    gsmlog::TLogReader reader;
    gsmlog::InitLogReader(reader, bytes.data(), bytes.size());
    std::int32_t code = 0;
    std::string text;
    bool ours = false;
    std::vector<long long> found;
    while (gsmlog::ReadLogRecord(reader, code, text)) {
      if (code == gsmlog::kRunSessionCode) ours = text == session;
      if (code == gsmlog::kRunCycleNumberCode) found.push_back(std::atoll(text.c_str()));
    }
    if (ours) {
      for (const long long n : found) numbers.Add(n);
    }
  }
  return numbers;
}

void LogFiling::Forget(const std::string& level, const RunLog& run) {
  // A cycle of a completed log that comes again is still found.
  NumberRanges& numbers = earlier_[level + "/" + run.session + "/" + run.day];
  for (const auto& [first, last] : run.written.Ranges()) {
    for (long long n = first; n <= last; ++n) numbers.Add(n);
  }
}

Filed LogFiling::FileCycle(const std::string& level, const sites::ParsedCycle& cycle) {
  Site& site = sites_[level];
  const std::string day = cycle.time.substr(0, 10);
  RunLog* run = &RunOf(level, cycle.session);
  if (run->written.Contains(cycle.cycle.n) && run->day == day) return Filed::repeat;
  if (run->started && run->day != day) {
    // The run's day changed: its log of the day before is complete.
    if (!Complete(*run)) return Filed::failed;
    Forget(level, *run);
    site.runs.erase(cycle.session);
    run = &RunOf(level, cycle.session);
  }
  run->day = day;
  if (Earlier(level, cycle.session, day).Contains(cycle.cycle.n)) return Filed::repeat;
  if (!Open(site, level, *run, &cycle)) return Filed::failed;

  radio::Cycle values;
  values.n = ++run->cyclesInLog;
  // The values as the modem's own report gave them, so a collected log reads as a site's own.
  values.delivered = parser::FieldsOfCycle(cycle.cycle);
  run->sealing = &cycle;
  run->failure = 0;
  run->recorder->CycleCompleted(values);
  run->sealing = nullptr;
  if (!run->writer.IsOpen()) {
    --run->cyclesInLog;
    return Filed::failed;
  }
  for (auto& event : run->events) run->eventsWritten.insert(std::move(event));
  run->events.clear();
  run->written.Add(cycle.cycle.n);
  if (run->firstTime.empty()) run->firstTime = cycle.time;
  run->lastTime = cycle.time;
  return Filed::written;
}

Filed LogFiling::FileEvent(const std::string& level, const std::string& session, const std::string& time,
                           const history::CellEvent& event) {
  // The record as the live run writes it, with the site's own time of the event.
  std::string record = history::FormatEventRecord(event);
  record = time + record.substr(record.find(';'));
  RunLog& run = RunOf(level, session);
  if (run.eventsWritten.contains(record)) return Filed::repeat;
  for (const std::string& waiting : run.events) {
    if (waiting == record) return Filed::repeat;
  }
  if (run.events.size() >= kMaxWaitingEvents) run.events.erase(run.events.begin());
  run.events.push_back(record);
  return Filed::written;
}

void LogFiling::SiteOnline(const std::string& level, const SiteStatus& status) {
  Site& site = sites_[level];
  site.status = status;
  auto it = site.runs.find(status.session);
  if (it == site.runs.end() || !it->second->started) return;
  RunLog& run = *it->second;
  if (!status.imei.empty()) run.writer.Field(parser::fcImei, 0, parser::TextValue(status.imei));
  if (!status.model.empty()) run.writer.Field(parser::fcModel, 0, parser::TextValue(status.model));
}

bool LogFiling::Complete(RunLog& run) {
  if (!run.started) return true;
  if (!run.firstTime.empty()) run.writer.SetRunTimes(LocalTimeOf(run.firstTime), LocalTimeOf(run.lastTime));
  if (!run.writer.IsOpen()) {
    Site dummy;
    if (!Open(dummy, {}, run, nullptr)) return false;
  }
  for (const std::string& event : run.events) run.writer.Hold(gsmlog::kCycleEventCode, event);
  run.recorder->CompleteLog();
  if (run.writer.CanResume()) return false;
  run.events.clear();
  return true;
}

Filed LogFiling::RunEnded(const std::string& level, const std::string& session) {
  auto siteIt = sites_.find(level);
  if (siteIt == sites_.end()) return Filed::repeat;
  auto it = siteIt->second.runs.find(session);
  if (it == siteIt->second.runs.end()) return Filed::repeat;
  if (!Complete(*it->second)) return Filed::failed;
  Forget(level, *it->second);
  siteIt->second.runs.erase(it);
  return Filed::written;
}

void LogFiling::CompleteAll() {
  for (auto& [level, site] : sites_) {
    for (auto& [session, run] : site.runs) Complete(*run);
  }
}

}  // namespace cli
