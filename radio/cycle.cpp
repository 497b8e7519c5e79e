#include "radio/cycle.h"

#include <array>

namespace radio {
namespace {

constexpr std::array<std::string_view, 4> kTechNames = {"gsm", "wcdma", "lte", "nr"};
constexpr std::array<std::string_view, 6> kRegistrationNames = {"unknown",   "not_registered", "home",
                                                                "searching", "denied",         "roaming"};

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
// Spelled out for clang 14 (the fuzz build), which does not deduce an aggregate's arguments.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

std::string_view TechName(Tech tech) { return kTechNames[static_cast<std::size_t>(tech)]; }

std::optional<Tech> TechNamed(std::string_view name) {
  for (std::size_t i = 0; i < kTechNames.size(); ++i) {
    if (kTechNames[i] == name) return static_cast<Tech>(i);
  }
  return std::nullopt;
}

std::string_view RegistrationName(Registration registration) {
  return kRegistrationNames[static_cast<std::size_t>(registration)];
}

std::optional<double> Cell::LevelDbm() const {
  return std::visit(
      Overloaded{[](const GsmMeasures& m) -> std::optional<double> {
                   if (m.rxLevelDbm) return *m.rxLevelDbm;
                   return std::nullopt;
                 },
                 [](const WcdmaMeasures& m) { return m.rscpDbm; }, [](const LteMeasures& m) { return m.rsrpDbm; },
                 [](const NrMeasures& m) { return m.rsrpDbm; }},
      measures);
}

std::optional<int> Cell::PhysicalId() const {
  return std::visit(
      Overloaded{[](const GsmMeasures& m) { return m.bsic; }, [](const WcdmaMeasures& m) { return m.psc; },
                 [](const LteMeasures& m) { return m.pci; }, [](const NrMeasures& m) { return m.pci; }},
      measures);
}

}  // namespace radio
