// What every host keeps alike: the handlers bound to the controls' events and
// the routines run once at the exit. Each guards itself, so any thread may
// use them.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host/Host.h"

namespace host {

class HandlerTable {
 public:
  // A later binding replaces an earlier one.
  void Bind(const Text& control, Event event, Handler handler);
  // An empty handler when none is bound.
  Handler Find(const Text& control, Event event) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::pair<Text, Event>, Handler> handlers_;
};

class ExitRoutineList {
 public:
  // Ignored when a routine is listed under the key already.
  void Register(const std::string& key, std::function<void()> routine);
  // Runs every listed routine once, in the order registered, outside the lock
  // (a routine may register another, which then waits for a later run).
  void RunAll();

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::function<void()>>> routines_;
};

}  // namespace host
