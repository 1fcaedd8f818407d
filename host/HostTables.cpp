#include "host/HostTables.h"

namespace host {

void HandlerTable::Bind(const Text& control, Event event, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[{control, event}] = std::move(handler);
}

Handler HandlerTable::Find(const Text& control, Event event) const {
  std::lock_guard lock(mutex_);
  const auto found = handlers_.find({control, event});
  return found == handlers_.end() ? Handler() : found->second;
}

void ExitRoutineList::Register(const std::string& key, std::function<void()> routine) {
  std::lock_guard lock(mutex_);
  for (const auto& entry : routines_) {
    if (entry.first == key) return;
  }
  routines_.emplace_back(key, std::move(routine));
}

void ExitRoutineList::RunAll() {
  std::vector<std::pair<std::string, std::function<void()>>> routines;
  {
    std::lock_guard lock(mutex_);
    routines.swap(routines_);
  }
  for (auto& entry : routines) entry.second();
}

}  // namespace host
