#include "platform/headless_dialogs.h"

#include "base/exception.h"

namespace sw {

namespace {

template <class T>
T TakeNext(std::deque<T>& script, T none) {
  if (script.empty()) return none;
  T answer = std::move(script.front());
  script.pop_front();
  return answer;
}

// The path with ".ext" added when its file name has no extension of its own.
std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
  if (extension.empty()) return path;
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.find('.') != std::string::npos) return path;
  return path + "." + extension;
}

}  // namespace

std::optional<std::string> THeadlessFileDialogs::OpenFile(const TFileDialogRequest& request) {
  std::optional<std::string> answer = TakeNext(opens_, std::optional<std::string>());
  requests_.push_back(TRequest{false, request, answer});
  return answer;
}

std::optional<std::string> THeadlessFileDialogs::SaveFile(const TFileDialogRequest& request) {
  std::optional<std::string> answer = TakeNext(saves_, std::optional<std::string>());
  if (answer) answer = WithDefaultExtension(*answer, request.DefaultExtension);
  requests_.push_back(TRequest{true, request, answer});
  return answer;
}

std::optional<TFontChoice> THeadlessFontDialog::ChooseFont(const TFontChoice& initial) {
  requests_.push_back(initial);
  return TakeNext(script_, std::optional<TFontChoice>());
}

IPrinter* THeadlessPrintDialog::Execute(const TPrintRequest& request) {
  requests_.push_back(request);
  return TakeNext<IPrinter*>(script_, nullptr);
}

void THeadlessWebBrowser::OpenUrl(const std::string& url) {
  urls_.push_back(url);
  if (Fail) RaiseError("Couldn't launch default browser");
}

class THeadlessProgressService::TJobProgress : public IProgress {
public:
  TJobProgress(THeadlessProgressService& owner, size_t index) : owner_(owner), index_(index) {}
  ~TJobProgress() override { owner_.jobs_[index_].Ended = true; }
  void SetPosition(int32_t done) override {
    std::vector<int32_t>& positions = owner_.jobs_[index_].Positions;
    positions.push_back(done);
    if (owner_.CancelAtPosition > 0 && static_cast<int32_t>(positions.size()) >= owner_.CancelAtPosition) {
      cancelled_ = true;
    }
  }
  bool Cancelled() const override { return cancelled_; }

private:
  THeadlessProgressService& owner_;
  size_t index_;
  bool cancelled_ = false;
};

std::unique_ptr<IProgress> THeadlessProgressService::Begin(const std::string& label, int32_t total) {
  jobs_.push_back(TJob{label, total, {}, false});
  return std::make_unique<TJobProgress>(*this, jobs_.size() - 1);
}

}  // namespace sw
