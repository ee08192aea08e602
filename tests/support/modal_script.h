// Answering the modal dialog a Qt test is about to open, from the event loop its exec() runs.
//
// A dialog may come up later than a test expects, and may not yet be ready when it shows (a file
// dialog still reading its folder can ignore accept()). So the script looks for the dialog every
// 20 ms, runs the action on it, and runs it again while that dialog stays open: the action must
// be safe to repeat. Every script has a deadline: a dialog that never came up, or never closed,
// is then closed (so exec() returns), and the test learns what never happened:
//
//   const TModalScript box = TModalScript::On<QMessageBox>("the save question", [](auto* b) {...});
//   window.close();
//   QVERIFY2(box.Done(), box.Failure());
//
// The script stops looking when it goes out of scope, so keep it in a named variable.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

namespace sw::test {

class [[nodiscard]] TModalScript {
public:
  static constexpr int kDefaultDeadlineMs = 20000;

  // Acts on the next modal widget of type D; what names it in the failure message.
  template <class D, class F>
  static TModalScript On(QString what, F action, int deadlineMs = kDefaultDeadlineMs) {
    TModalScript script(std::move(what), deadlineMs);
    script.state_->Matches = [](QWidget* w) { return qobject_cast<D*>(w) != nullptr; };
    script.state_->Step = [action](QWidget* w) { action(static_cast<D*>(w)); };
    Poll(script.state_);
    return script;
  }

  TModalScript(TModalScript&&) = default;
  TModalScript& operator=(TModalScript&&) = delete;
  ~TModalScript() {
    if (state_) state_->Stopped = true;
  }

  // The dialog came up, the action ran and the dialog closed, within the deadline.
  bool Done() const {
    return state_->Acted && !state_->TimedOut && (state_->Dialog.isNull() || !state_->Dialog->isVisible());
  }
  // What never happened, for QVERIFY2.
  const char* Failure() const {
    QString text = state_->What;
    if (!state_->Acted) {
      text += ": the dialog never came up";
    } else if (state_->TimedOut || (!state_->Dialog.isNull() && state_->Dialog->isVisible())) {
      text += ": the dialog did not close after the action";
    } else {
      text += ": done";
    }
    failure_ = text.toUtf8();
    return failure_.constData();
  }

private:
  struct TState {
    QString What;
    int DeadlineMs = 0;
    QElapsedTimer Clock;
    std::function<bool(QWidget*)> Matches;
    std::function<void(QWidget*)> Step;
    QPointer<QWidget> Dialog;
    bool Acted = false;
    bool TimedOut = false;
    bool Stopped = false;
  };

  TModalScript(QString what, int deadlineMs) : state_(std::make_shared<TState>()) {
    state_->What = std::move(what);
    state_->DeadlineMs = deadlineMs;
    state_->Clock.start();
  }

  // The next look is scheduled before the action runs, so that a dialog the action opens in turn
  // (a warning over the dialog) still meets the deadline.
  static void Poll(const std::shared_ptr<TState>& state) {
    QTimer::singleShot(20, [s = state] {
      if (s->Stopped) return;
      if (s->Acted && (s->Dialog.isNull() || !s->Dialog->isVisible())) return;
      if (s->Clock.elapsed() > s->DeadlineMs) {
        s->TimedOut = true;
        CloseEveryModal();
        return;
      }
      Poll(s);
      QWidget* modal = QApplication::activeModalWidget();
      if (!s->Acted && modal != nullptr && modal->isVisible() && s->Matches(modal)) s->Dialog = modal;
      if (!s->Dialog.isNull() && s->Dialog->isVisible() && modal == s->Dialog) {
        s->Acted = true;
        s->Step(s->Dialog.data());
      }
    });
  }

  // Closes whatever modal widgets are open, innermost first, so that every exec() returns.
  static void CloseEveryModal() {
    for (int guard = 0; guard < 16; ++guard) {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return;
      if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
      } else {
        modal->close();
      }
    }
  }

  std::shared_ptr<TState> state_;
  mutable QByteArray failure_;
};

}  // namespace sw::test
