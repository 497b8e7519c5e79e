#include "sites/site_publishing.h"

#include <utility>

#include "platform/text_encoding.h"
#include "sites/cycle_message.h"
#include "sites/event_message.h"

namespace sites {
namespace {

// A run's start is the one event told before its publisher exists; room for a few is plenty.
constexpr std::size_t kEarlyEvents = 8;

}  // namespace

SiteIdentity SiteIdentityOf(const radio::Identity& identity) {
  return {platform::Cp1251ToPrintable(identity.imei),
          platform::Cp1251ToPrintable(identity.manufacturer),
          platform::Cp1251ToPrintable(identity.model),
          platform::Cp1251ToPrintable(identity.firmware),
          {}};
}

SitePublishing::SitePublishing(TargetSource target, bool finishAtEnd)
    : target_(std::move(target)), finishAtEnd_(finishAtEnd) {}

SitePublishing::~SitePublishing() { JoinFinishing(); }

void SitePublishing::JoinFinishing() {
  for (std::thread& thread : finishing_) thread.join();
  finishing_.clear();
}

void SitePublishing::DialectTold(const core::DialectNote& note) { dialect_ = note.dialect; }

void SitePublishing::RunStarted(const core::RunStart& start) {
  std::vector<nlohmann::json> early = std::exchange(early_, {});
  if (publisher_) return;
  std::string why;
  const std::optional<Target> target = target_ ? target_(why) : std::nullopt;
  if (!target) {
    if (!why.empty() && report_) report_(BrokerEvent::problem, why);
    return;
  }
  SiteIdentity identity = SiteIdentityOf(start.identity);
  identity.dialect = dialect_;
  publisher_ = std::make_unique<SitePublisher>(target->broker, target->settings, identity, report_);
  publisher_->Start();
  for (nlohmann::json& event : early) publisher_->Event(std::move(event));
}

void SitePublishing::CycleCompleted(const radio::Cycle& cycle) {
  if (publisher_) publisher_->Cycle(CycleObject(cycle, publisher_->Session()));
}

void SitePublishing::ErrorShown(const std::string& text) {
  if (publisher_) publisher_->Event({{"event", "error"}, {"text", platform::Cp1251ToPrintable(text)}});
}

void SitePublishing::Event(const history::CellEvent& event) {
  if (publisher_) {
    publisher_->Event(EventObject(event));
  } else if (early_.size() < kEarlyEvents) {
    early_.push_back(EventObject(event));
  }
}

void SitePublishing::RunEnded(const core::RunEnd& /*end*/) {
  if (!finishAtEnd_ || !publisher_) return;
  JoinFinishing();
  // The queued cycles get their time to go out without holding the front end's return to idle.
  finishing_.emplace_back([publisher = std::move(publisher_)] {
    publisher->Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10), {});
  });
}

}  // namespace sites
