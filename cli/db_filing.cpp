#include "cli/db_filing.h"

#include "fleetdb/database_url.h"
#include "survey/survey_text.h"

namespace cli {

DbFiling::DbFiling(const std::string& url, std::function<void(const std::string&)> say)
    : url_(url), shown_(fleetdb::DisplayUrl(url)), say_(std::move(say)), writer_(url) {}

bool DbFiling::Connect() {
  std::string error;
  if (!writer_.Connect(error)) {
    Failed(error);
    return false;
  }
  say_("Подключено к базе данных " + shown_);
  return true;
}

Filed DbFiling::FileCycle(const std::string& site, const sites::ParsedCycle& cycle) {
  batch_.AddCycle(site, cycle.session, cycle.cycle);
  return Filed::written;
}

Filed DbFiling::FileEvent(const std::string& site, const std::string& session, const std::string& time,
                          const history::CellEvent& event) {
  // A time the clock cannot hold (the database could not either) leaves the event to the logs.
  const auto parsed = survey::ParseIsoTime(time);
  const auto instant = parsed ? survey::ToTimePoint(*parsed) : std::nullopt;
  if (!instant) return Filed::written;
  fleetdb::EventRow row{site, session, *instant, std::string(history::EventKey(event.kind)), event.from, event.to, {}};
  if (event.threshold != 0) row.thresholdDbm = event.threshold;
  batch_.AddEvent(std::move(row));
  return Filed::written;
}

void DbFiling::SiteOnline(const std::string& site, const SiteStatus& status) {
  batch_.AddStatus(
      {site, status.manufacturer, status.model, status.firmware, status.session, "online", "", status.dialect});
}

void DbFiling::SiteOffline(const std::string& site, const SiteStatus& status, const std::string& reason) {
  batch_.AddStatus(
      {site, status.manufacturer, status.model, status.firmware, status.session, "offline", reason, status.dialect});
}

Filed DbFiling::RunEnded(const std::string& site, const std::string& session) {
  batch_.AddRunEnd(site, session);
  return Filed::written;
}

bool DbFiling::Commit() {
  std::string error;
  const bool written = writer_.Write(batch_, written_, error);
  // Either stored, or to come again from the broker: the batch starts afresh.
  batch_.Clear();
  if (!written) {
    Failed(error);
    return false;
  }
  Succeeded();
  return true;
}

void DbFiling::Failed(const std::string& error) {
  ++failures_;
  if (down_) return;
  down_ = true;
  say_("Нет записи в базу данных " + shown_ + ": " + fleetdb::WithoutPassword(url_, error) + "; повтор позже");
}

void DbFiling::Succeeded() {
  if (!down_) return;
  down_ = false;
  say_("Запись в базу данных " + shown_ + " восстановлена");
}

}  // namespace cli
