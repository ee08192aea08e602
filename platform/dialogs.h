// The dialogs a window asks the user through: opening and saving files, choosing a font with its
// colour, choosing a printer, opening a web page and showing the progress of a long job. The
// designer hands the Qt ones; tests hand the headless ones, scripted beforehand ("the next file
// dialog answers this path").
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "raster/color32.h"

namespace sw {

class IMessageBoxes;
class IPrinter;

// One line of a file dialog's type list: "Magnet design (*.fmd)" with its extensions ("fmd",
// without the dot). Extensions match without regard to case.
struct TFileFilter {
  std::string Caption;
  std::vector<std::string> Extensions;
};

struct TFileDialogRequest {
  std::string Title;
  // The folder the dialog opens in; empty: wherever the platform likes.
  std::string InitialDir;
  // The file name proposed (save dialogs).
  std::string FileName;
  std::vector<TFileFilter> Filters;
  // Added by a save dialog to a name typed without extension; without the dot.
  std::string DefaultExtension;
};

class IFileDialogs {
public:
  virtual ~IFileDialogs() = default;
  // The full path chosen; nothing when the user cancelled.
  virtual std::optional<std::string> OpenFile(const TFileDialogRequest& request) = 0;
  virtual std::optional<std::string> SaveFile(const TFileDialogRequest& request) = 0;
};

// A font as the font dialog shows and returns it. Colour is 0xRRGGBB.
struct TFontChoice {
  std::string Name;
  double Points = 10;
  bool Bold = false;
  bool Italic = false;
  TRgbColor Colour = 0;
  friend bool operator==(const TFontChoice&, const TFontChoice&) = default;
};

class IFontDialog {
public:
  virtual ~IFontDialog() = default;
  // Opens at initial; the font chosen, or nothing when cancelled.
  virtual std::optional<TFontChoice> ChooseFont(const TFontChoice& initial) = 0;
};

// What the print tab asks the print dialog for: the paper of the layout, so the printer's page
// takes that size (a printer set to another paper never scales the sheet).
struct TPrintRequest {
  std::string Title;
  float PaperWidth = 210;   // millimetres, upright
  float PaperHeight = 297;
};

class IPrintDialog {
public:
  virtual ~IPrintDialog() = default;
  // Shows the dialog; on OK the printer chosen, its paper set to the request's, ready for a job;
  // null when cancelled. The printer lives until the next Execute or the dialog's end.
  virtual IPrinter* Execute(const TPrintRequest& request) = 0;
};

class IWebBrowser {
public:
  virtual ~IWebBrowser() = default;
  // Opens the address in the user's browser; raises "Couldn't launch default browser" when that
  // fails.
  virtual void OpenUrl(const std::string& url) = 0;
};

// The progress of one long job. A job that ends quickly never shows anything.
class IProgress {
public:
  virtual ~IProgress() = default;
  // Done steps of the total; the UI may process its events here.
  virtual void SetPosition(int32_t done) = 0;
  // The user asked to stop (a cancel button); the job decides what to do about it.
  virtual bool Cancelled() const = 0;
};

class IProgressService {
public:
  virtual ~IProgressService() = default;
  // Begins a job of total steps with a label; the job ends when the returned object is destroyed.
  virtual std::unique_ptr<IProgress> Begin(const std::string& label, int32_t total) = 0;
};

// Everything a window asks the user through. A missing service (null) means the answer "cancel".
struct TDialogServices {
  IFileDialogs* Files = nullptr;
  IFontDialog* Font = nullptr;
  IPrintDialog* Print = nullptr;
  IWebBrowser* Web = nullptr;
  IProgressService* Progress = nullptr;
  IMessageBoxes* MessageBoxes = nullptr;
};

}  // namespace sw
