#include "app/app_folders.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace sw {

namespace fs = std::filesystem;

namespace {

std::string WithSeparator(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

bool Writable(const std::string& dir) { return ::access(dir.c_str(), W_OK | X_OK) == 0; }

TAppFolders FoldersIn(const std::string& dir) {
  TAppFolders folders;
  folders.ProgramDir = WithSeparator(dir);
  folders.TemplatesDir = folders.ProgramDir + "templates";
  folders.DesignsDir = folders.ProgramDir + "designs";
  folders.ImagesDir = folders.ProgramDir + "images";
  return folders;
}

// Creates the three; true when all of them exist and can be written.
bool Create(const TAppFolders& folders) {
  bool usable = true;
  for (const std::string* dir : {&folders.TemplatesDir, &folders.DesignsDir, &folders.ImagesDir}) {
    std::error_code ignored;
    fs::create_directories(*dir, ignored);
    usable = usable && fs::is_directory(*dir, ignored) && Writable(*dir);
  }
  return usable;
}

bool HasFmtExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return tail == ".fmt";
}

}  // namespace

TAppFolders MakeAppFolders(const std::string& programDir, const std::string& fallbackDir) {
  TAppFolders beside = FoldersIn(programDir);
  if (Create(beside) || fallbackDir.empty()) return beside;
  TAppFolders data = FoldersIn(fallbackDir);
  data.InDataFolder = true;
  Create(data);
  return data;
}

bool TemplatesFound(const std::string& folder) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) return false;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) return false;
    if (HasFmtExtension(it->path().filename().string())) return true;
  }
  return false;
}

std::vector<std::string> BundledTemplateDirs(const std::string& programDir) {
  const fs::path dir(programDir);
  return {(dir / ".." / "templates").lexically_normal().string(),
          (dir / ".." / "share" / "stickwell" / "templates").lexically_normal().string()};
}

std::vector<std::string> ManualDirs(const std::string& programDir) {
  const fs::path dir(programDir);
  return {(dir / ".." / "manual").lexically_normal().string(),
          (dir / ".." / "share" / "stickwell" / "manual").lexically_normal().string()};
}

int InstallBundledTemplates(const std::vector<std::string>& sources, const std::string& templatesDir) {
  std::error_code error;
  const fs::path target(templatesDir);
  if (!fs::is_directory(target, error)) return 0;
  for (const std::string& source : sources) {
    if (!TemplatesFound(source)) continue;
    // The program's own templates folder is no source of itself.
    if (fs::equivalent(source, target, error)) return 0;
    int copied = 0;
    for (fs::directory_iterator it(source, error); !error && it != fs::directory_iterator(); it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (!HasFmtExtension(name) || !it->is_regular_file(error)) continue;
      if (fs::exists(target / name, error)) continue;
      if (fs::copy_file(it->path(), target / name, fs::copy_options::skip_existing, error)) ++copied;
    }
    return copied;
  }
  return 0;
}

}  // namespace sw
