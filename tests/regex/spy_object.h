// An automation object that passes every call on to a real one and writes
// down what was done: "Name=value" for a write, "Name()" for a method call,
// "Name" for a read, each followed by " failed" when it failed.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "text/automation.h"

namespace velinor::test {

class SpyObject : public AutomationObject {
 public:
  SpyObject(std::shared_ptr<AutomationObject> inner, std::vector<std::string>* log)
      : inner_(std::move(inner)), log_(log) {}

  bool Invoke(std::string_view name, DispatchKind kind, Arguments args, Variant& result) override {
    const bool ok = inner_->Invoke(name, kind, args, result);
    std::string entry(name);
    if (kind == DispatchKind::kPropertyPut) entry += "=" + VariantToText(args[0].Value());
    if (kind == DispatchKind::kMethod) entry += "()";
    if (!ok) entry += " failed";
    log_->push_back(entry);
    return ok;
  }

 private:
  std::shared_ptr<AutomationObject> inner_;
  std::vector<std::string>* log_;
};

// Installs a spying factory under `progId` for the life of the scope; each
// object made is also kept in `made`, unwrapped, for reading back.
class SpyScope {
 public:
  SpyScope(std::string progId, std::function<std::shared_ptr<AutomationObject>()> make)
      : progId_(std::move(progId)) {
    original_ = RegisterComponent(progId_, [this, make] {
      auto object = make();
      made.object = object;
      return std::make_shared<SpyObject>(object, &log);
    });
  }
  ~SpyScope() { RegisterComponent(progId_, original_); }
  SpyScope(const SpyScope&) = delete;
  SpyScope& operator=(const SpyScope&) = delete;

  std::vector<std::string> log;
  ComObject made;

 private:
  std::string progId_;
  ComponentFactory original_;
};

}  // namespace velinor::test
