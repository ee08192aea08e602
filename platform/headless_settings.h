// Settings kept in memory for as long as the object lives: tests and runs that keep nothing.
#pragma once

#include <map>
#include <string>

#include "platform/settings.h"

namespace sw {

class THeadlessSettings : public ISettings {
public:
  std::string Value(const std::string& key) const override {
    const auto it = values_.find(key);
    return it == values_.end() ? std::string() : it->second;
  }
  void SetValue(const std::string& key, const std::string& value) override {
    if (value.empty()) values_.erase(key);
    else values_[key] = value;
  }

private:
  std::map<std::string, std::string> values_;
};

}  // namespace sw
