// The controls of the window's tabs made one way: named after their part of the window (the
// objectName is the name the handlers are named after), spin edits flat with their type.
#pragma once

#include <string>

#include "widgets/spin_edit.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QWidget;

namespace sw {

TAdvSpinEdit* NewSpinEdit(QWidget* parent, const char* name, TSpinValueType type);
QPushButton* NewButton(QWidget* parent, const char* name, const char* caption);
QCheckBox* NewCheckBox(QWidget* parent, const char* name, const char* caption);
// A caption for a control, in the control's parent; a click on it focuses the control.
QLabel* NewCaption(QWidget* buddy, const char* text);
// Shows the warning of a picture that loaded from damaged data on the status line of the window
// holding widget; nothing for an empty warning.
void ShowPictureWarning(QWidget* widget, const std::string& warning);

}  // namespace sw
