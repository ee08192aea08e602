#include "platform/settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "base/exception.h"
#include "platform/file_printer.h"

namespace sw {

namespace {

bool ValidKey(const std::string& key) {
  return !key.empty() && key.size() <= kMaxSettingKey && key.find_first_of("\t\r\n") == std::string::npos;
}

bool ValidValue(const std::string& value) {
  return value.size() <= kMaxSettingValue && value.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

TFileSettings::TFileSettings(std::string fileName) : fileName_(std::move(fileName)) {
  if (fileName_.empty()) return;
  std::error_code error;
  if (!std::filesystem::is_regular_file(fileName_, error)) return;
  const auto size = std::filesystem::file_size(fileName_, error);
  if (error || size > static_cast<uintmax_t>(kMaxSettingsFileBytes)) return;
  std::ifstream in(fileName_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string key = line.substr(0, tab), value = line.substr(tab + 1);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    if (ValidKey(key) && ValidValue(value) && !value.empty()) values_[std::move(key)] = std::move(value);
  }
}

std::string TFileSettings::Value(const std::string& key) const {
  const auto it = values_.find(key);
  return it == values_.end() ? std::string() : it->second;
}

void TFileSettings::SetValue(const std::string& key, const std::string& value) {
  if (!ValidKey(key) || !ValidValue(value)) RaiseError("A setting must be one line of limited length");
  if (value.empty()) values_.erase(key);
  else values_[key] = value;
  if (fileName_.empty()) return;
  try {
    const std::filesystem::path folder = std::filesystem::path(fileName_).parent_path();
    std::error_code error;
    if (!folder.empty()) std::filesystem::create_directories(folder, error);
    std::string text;
    for (const auto& [k, v] : values_) text += k + '\t' + v + '\n';
    TAtomicFile file(fileName_);
    file.Stream().Write(text.data(), static_cast<int64_t>(text.size()));
    file.Commit();
  } catch (const std::exception& e) {
    RaiseError(Format("Cannot save the settings to \"%s\": %s", fileName_.c_str(), e.what()));
  }
}

std::string DefaultSettingsFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path folder;
  if (config && config[0] == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    folder = std::filesystem::path(home) / ".config";
  }
  return (folder / "stickwell" / "settings").string();
}

}  // namespace sw
