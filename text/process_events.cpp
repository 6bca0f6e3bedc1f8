#include <mutex>
#include <utility>

#include "text/text.h"

namespace velinor {
namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void()>& Hook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void ProcessEvents() {
  std::function<void()> pump;
  {
    const std::lock_guard lock(HookMutex());
    pump = Hook();
  }
  // Called on a copy: the pump may run handlers that call ProcessEvents again
  // or install another pump while this one is still running.
  if (pump) pump();
}

std::function<void()> SetProcessEventsHook(std::function<void()> pump) {
  const std::lock_guard lock(HookMutex());
  return std::exchange(Hook(), std::move(pump));
}

}  // namespace velinor
