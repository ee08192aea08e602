// The folders the designer works in: "templates", "designs" and "images" beside the program, or,
// when the program's folder cannot be written (an installed program), the same three in the
// user's data folder. The bundled templates are copied into "templates" when missing there.
#pragma once

#include <string>
#include <vector>

namespace sw {

struct TAppFolders {
  // The folder the three live in, with a trailing separator.
  std::string ProgramDir;
  // ProgramDir followed by "templates", "designs", "images" (no trailing separator).
  std::string TemplatesDir;
  std::string DesignsDir;
  std::string ImagesDir;
  // The three are in the fallback folder because the program's folder is not writable.
  bool InDataFolder = false;
};

// Creates the three folders (with missing parents) beside programDir; when that folder or any of
// the three cannot be written, in fallbackDir instead (created likewise; an empty fallbackDir means
// none). Failures are not reported: the folders then simply do not exist.
TAppFolders MakeAppFolders(const std::string& programDir, const std::string& fallbackDir);

// Whether some entry of folder (a file, a hidden file or even a folder) has a name ending in
// ".fmt", letter case aside. A missing folder has none.
bool TemplatesFound(const std::string& folder);

// The folders a program in programDir looks in for its bundled templates: beside it (a build
// tree keeps them in ../templates) and where an installation puts them (../share/stickwell/templates).
std::vector<std::string> BundledTemplateDirs(const std::string& programDir);

// The folders a program in programDir looks in for its manual: the build tree's ../manual and the
// installed ../share/stickwell/manual.
std::vector<std::string> ManualDirs(const std::string& programDir);

// Copies every "*.fmt" file of the first existing folder of sources that holds any into
// templatesDir, leaving files of the same name that are there already; returns how many were
// copied. Files that cannot be copied are skipped.
int InstallBundledTemplates(const std::vector<std::string>& sources, const std::string& templatesDir);

}  // namespace sw
