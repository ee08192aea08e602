// The flat spin edit used for every numeric field of the designer window: a borderless editor with
// a window-coloured underline and two separate flat arrows, the UPPER one decreasing the value and
// the LOWER one increasing it (the labels above and below each field say which way it goes).
#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>

class QLineEdit;
class QTimer;

namespace sw {

class TSpinArrow;

// Whole numbers step by 1 and show no decimals; decimals step by 0.5 and show one decimal.
enum TSpinValueType { svtInteger, svtFloat };

// Parses a typed number without regard to the locale: "." or "," as the decimal separator, an
// optional sign, surrounding blanks ignored. Returns nothing for text that is not a finite number.
std::optional<double> ParseSpinText(const std::string& text);

// The value as the spin edit shows it: decimals digits after a ".", never "-0".
std::string FormatSpinValue(double value, int32_t decimals);

class TAdvSpinEdit : public QWidget {
  Q_OBJECT

public:
  static constexpr int32_t kHeight = 21;
  static constexpr int32_t kArrowWidth = 15;
  // Values are kept within ± this much even without a range, so that IntValue always fits.
  static constexpr double kHardLimit = 1e9;

  explicit TAdvSpinEdit(QWidget* parent = nullptr);
  // Cuts the editor off first: QWidget's destructor deletes it later, and its focus-out would
  // otherwise reach this object when it is only a QWidget any more.
  ~TAdvSpinEdit() override;

  // Switches between whole numbers and decimals and sets the matching step and shown decimals;
  // the value is rounded to the new precision without a signal.
  void SetValueType(TSpinValueType type);
  TSpinValueType ValueType() const { return type_; }
  // The amount one arrow press moves the value (values still keep the shown decimals); a step
  // that is not positive is ignored. SetValueType resets it.
  void SetIncrement(double step);
  double Increment() const { return step_; }

  // Both 0 means no limit; otherwise a value below the minimum becomes the minimum, then one
  // above the maximum the maximum. The present value is brought into range with a signal.
  void SetRange(double minimum, double maximum);
  double Minimum() const { return min_; }
  double Maximum() const { return max_; }

  double Value() const { return value_; }
  // The value rounded to a whole number (halves to the even neighbour).
  int32_t IntValue() const;
  // Sets the value (kept in range and rounded to the shown precision); valueChanged when it changed.
  void SetValue(double value);
  // The same without valueChanged, for a window filling its own controls.
  void SetValueQuietly(double value);

  // Timing of a held-down arrow: the first repeat after delayMs, then one every intervalMs.
  void SetRepeatTiming(int32_t delayMs, int32_t intervalMs);
  // True between gestureStarted and gestureEnded.
  bool InGesture() const { return gesture_ != 0; }

  QLineEdit* Editor() const { return editor_; }
  QWidget* UpperArrow() const;
  QWidget* LowerArrow() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

signals:
  // The value changed by the user or by SetValue. A change outside a gesture is a step of its own.
  void valueChanged(double value);
  // Around each press of an arrow or an arrow key, held down or not, even when the value is at a
  // limit and nothing changes, around each wheel notch, and around typing: a typed value applies
  // at every keystroke that leaves a number, from the first such keystroke until Return, Escape
  // (which brings back the value from before the typing) or the focus leaves. Every valueChanged
  // of the press, notch or typing falls between the two.
  void gestureStarted();
  void gestureEnded();

protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  // With the focus, a notch steps the value once (up increases); without it the wheel is left to
  // what lies below (the panel scrolls).
  void wheelEvent(QWheelEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  friend class TSpinArrow;
  double Constrain(double value) const;
  void Store(double value, bool notify);
  void ShowValue();
  void CommitText();
  // A keystroke in the editor: the value follows when the text is a number.
  void ApplyTyped();
  void EndTyping();
  // direction −1 is the upper arrow, +1 the lower.
  void BeginPress(int32_t direction);
  void EndPress();
  void Step();

  QLineEdit* editor_;
  TSpinArrow* upper_;
  TSpinArrow* lower_;
  QTimer* repeat_;
  TSpinValueType type_ = svtInteger;
  double step_ = 1;
  int32_t decimals_ = 0;
  double min_ = 0, max_ = 0;
  double value_ = 0;
  int32_t gesture_ = 0;  // direction of the press in progress, 0 for none
  bool typing_ = false;
  double typingStart_ = 0;
  int32_t wheelRest_ = 0;  // wheel units short of a notch
  int32_t delayMs_ = 400, intervalMs_ = 60;
};

}  // namespace sw
