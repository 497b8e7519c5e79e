#pragma once
// The collector's logs in a folder: a folder per site (its topic level), and a log per run and
// day of its cycles' own dates, DDMMYYYY.log (DDMMYYYY-2.log and so on when the name is taken:
// another run, or a restart of the collector), written through the monitor's log recorder and
// writer. A log is completed with its summary when its run ends, when its run's day changes and
// when the collector stops; the summary's start and end are its first and last cycle's times.
// Only a few logs are open at a time: the others are closed after their seal and reopened to
// append. A write that fails (a full disk, too many open files) is said with its cause, at most
// every few seconds; the log goes on from its last seal when the cycle comes again.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "cli/cycle_filing.h"
#include "cli/number_ranges.h"

namespace cli {

class LogFiling final : public CycleFiling {
 public:
  // say gets each line for stderr (UTF-8).
  LogFiling(std::filesystem::path dir, std::function<void(const std::string&)> say,
            std::size_t maxOpenLogs = kMaxOpenLogs);
  ~LogFiling() override;

  static constexpr std::size_t kMaxOpenLogs = 64;

  Filed FileCycle(const std::string& site, const sites::ParsedCycle& cycle) override;
  Filed FileEvent(const std::string& site, const std::string& session, const std::string& time,
                  const history::CellEvent& event) override;
  void SiteOnline(const std::string& site, const SiteStatus& status) override;
  Filed RunEnded(const std::string& site, const std::string& session) override;
  void CompleteAll() override;
  std::uint64_t Failures() const override { return failures_; }

 private:
  struct RunLog;
  struct Site {
    SiteStatus status;
    std::map<std::string, std::unique_ptr<RunLog>> runs;  // by session
  };

  RunLog& RunOf(const std::string& site, const std::string& session);
  // Opens the run's log (creating it for its first cycle); false, said, when it cannot be.
  bool Open(Site& site, const std::string& level, RunLog& run, const sites::ParsedCycle* first);
  // Closes the least recently used logs beyond keep open ones.
  void CloseIdle(std::size_t keep, const RunLog* busy);
  bool Complete(RunLog& run);
  void Forget(const std::string& level, const RunLog& run);
  // The cycle numbers of a run found in the logs of its day from before (a restart).
  const NumberRanges& Earlier(const std::string& level, const std::string& session, const std::string& day);
  void Failed(const std::string& message, int error);

  const std::filesystem::path dir_;
  const std::function<void(const std::string&)> say_;
  const std::size_t maxOpenLogs_;
  std::map<std::string, Site> sites_;
  std::map<std::string, NumberRanges> earlier_;  // by level, session and day
  std::uint64_t useCount_ = 0;
  std::uint64_t failures_ = 0;
  std::chrono::steady_clock::time_point lastSaid_{};
  std::uint64_t unsaid_ = 0;
  bool firstTry_ = false;  // a log is being opened for the first time this cycle
};

// Why a system call failed, for a person: "нет места на диске (ENOSPC)".
std::string FailureCause(int error);

}  // namespace cli
