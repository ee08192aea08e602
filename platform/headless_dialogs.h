// Dialogs without a screen, for tests and tools: each dialog takes its answer from a script the
// test writes beforehand ("the next open dialog answers this path", "the next font dialog answers
// this font", "the next print dialog is cancelled"), and every request is recorded so a test can
// check the titles, folders and filters the window asked with. An unscripted dialog answers
// "cancel".
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace sw {

class THeadlessFileDialogs : public IFileDialogs {
public:
  // Queues the answer of the next open (or save) dialog; nothing (std::nullopt) is "cancel".
  void ScriptOpen(std::optional<std::string> path) { opens_.push_back(std::move(path)); }
  void ScriptSave(std::optional<std::string> path) { saves_.push_back(std::move(path)); }
  size_t PendingOpens() const { return opens_.size(); }
  size_t PendingSaves() const { return saves_.size(); }

  // The next scripted answer, else cancel. A save answer typed without extension gets the
  // request's default extension, as a real save dialog adds it.
  std::optional<std::string> OpenFile(const TFileDialogRequest& request) override;
  std::optional<std::string> SaveFile(const TFileDialogRequest& request) override;

  struct TRequest {
    bool Save = false;
    TFileDialogRequest Request;
    std::optional<std::string> Answer;
  };
  const std::vector<TRequest>& Requests() const { return requests_; }
  const TRequest* LastRequest() const { return requests_.empty() ? nullptr : &requests_.back(); }

private:
  std::deque<std::optional<std::string>> opens_;
  std::deque<std::optional<std::string>> saves_;
  std::vector<TRequest> requests_;
};

class THeadlessFontDialog : public IFontDialog {
public:
  void ScriptFont(std::optional<TFontChoice> font) { script_.push_back(std::move(font)); }
  size_t Pending() const { return script_.size(); }
  // The next scripted font, else cancel; the initial font of every call is recorded.
  std::optional<TFontChoice> ChooseFont(const TFontChoice& initial) override;
  const std::vector<TFontChoice>& Requests() const { return requests_; }

private:
  std::deque<std::optional<TFontChoice>> script_;
  std::vector<TFontChoice> requests_;
};

class THeadlessPrintDialog : public IPrintDialog {
public:
  // The printer the next dialog answers with (not owned); null is "cancel".
  void ScriptPrinter(IPrinter* printer) { script_.push_back(printer); }
  size_t Pending() const { return script_.size(); }
  IPrinter* Execute(const TPrintRequest& request) override;
  const std::vector<TPrintRequest>& Requests() const { return requests_; }

private:
  std::deque<IPrinter*> script_;
  std::vector<TPrintRequest> requests_;
};

class THeadlessWebBrowser : public IWebBrowser {
public:
  // Records the address; with Fail set raises "Couldn't launch default browser" instead (the
  // address is still recorded).
  void OpenUrl(const std::string& url) override;
  bool Fail = false;
  const std::vector<std::string>& Urls() const { return urls_; }

private:
  std::vector<std::string> urls_;
};

class THeadlessProgressService : public IProgressService {
public:
  struct TJob {
    std::string Label;
    int32_t Total = 0;
    std::vector<int32_t> Positions;
    bool Ended = false;
  };
  std::unique_ptr<IProgress> Begin(const std::string& label, int32_t total) override;
  // The jobs begun, in order; Positions hold every SetPosition.
  const std::vector<TJob>& Jobs() const { return jobs_; }
  // The job begun as the CancelAtPosition-th SetPosition (1-based) reports Cancelled from then on;
  // 0 never cancels.
  int32_t CancelAtPosition = 0;

private:
  class TJobProgress;
  std::vector<TJob> jobs_;
};

// All of them at once, and the TDialogServices pointing at them (message boxes are the caller's).
struct THeadlessDialogs {
  THeadlessFileDialogs Files;
  THeadlessFontDialog Font;
  THeadlessPrintDialog Print;
  THeadlessWebBrowser Web;
  THeadlessProgressService Progress;
  TDialogServices Services(IMessageBoxes* boxes = nullptr) {
    return TDialogServices{&Files, &Font, &Print, &Web, &Progress, boxes};
  }
};

}  // namespace sw
