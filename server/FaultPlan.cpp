#include "FaultPlan.h"

namespace tvserver {

void FaultPlan::add(Fault fault) {
  std::lock_guard lock(mutex_);
  entries_.push_back({std::move(fault)});
}

void FaultPlan::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

std::optional<Fault> FaultPlan::strike(const std::string& operation,
                                       std::optional<std::int32_t> partNo) {
  std::lock_guard lock(mutex_);
  for (auto& e : entries_) {
    if (e.fault.operation != operation) continue;
    if (e.fault.partNo && e.fault.partNo != partNo) continue;
    if (e.seen++ < e.fault.afterCalls) continue;
    if (e.fault.times >= 0 && e.struck >= e.fault.times) continue;
    ++e.struck;
    return e.fault;
  }
  return std::nullopt;
}

}  // namespace tvserver
