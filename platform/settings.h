// The program's settings: short named values kept from one run to the next and shared by the
// designer and stickwell-cli (the positions of a template's sheet used already, say). Whoever
// starts the program creates the store and hands it on; a missing one (null) keeps nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace sw {

class ISettings {
public:
  virtual ~ISettings() = default;
  // The value stored under key; empty when there is none.
  virtual std::string Value(const std::string& key) const = 0;
  // Stores value under key (an empty value removes the key). A store that cannot keep it raises.
  virtual void SetValue(const std::string& key, const std::string& value) = 0;
};

// Limits of what a store keeps: a key and a value are one line each, at most this long, and a
// settings file beyond kMaxSettingsFileBytes is not read.
constexpr size_t kMaxSettingKey = 1024;
constexpr size_t kMaxSettingValue = 64 * 1024;
constexpr int64_t kMaxSettingsFileBytes = 1 << 20;

// Settings in a text file, one "key<TAB>value" a line, read once when made and written whole
// (through a temporary file renamed over the old one) by every change. A missing, unreadable or
// oversized file, and lines that are not of that form, are ignored: the settings start empty.
class TFileSettings : public ISettings {
public:
  explicit TFileSettings(std::string fileName);
  std::string Value(const std::string& key) const override;
  // Raises "Cannot save the settings ..." when the file cannot be written (the folder is made
  // when missing); the value is kept for this run either way.
  void SetValue(const std::string& key, const std::string& value) override;
  const std::string& FileName() const { return fileName_; }

private:
  std::string fileName_;
  std::map<std::string, std::string> values_;
};

// $XDG_CONFIG_HOME/stickwell/settings, or ~/.config/stickwell/settings when that is not set (an
// XDG_CONFIG_HOME that is not absolute is ignored, as the convention says); empty when neither
// that nor HOME gives a folder.
std::string DefaultSettingsFile();

}  // namespace sw
