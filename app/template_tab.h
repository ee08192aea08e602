// The template tab of the designer window (shown only with the argument "extra"): the template
// author loads the cutout picture, the cutout mask, the background and the user picture into their
// layers, sets the magnet's size and bleed margin, the cutting line, the mask's visibility and the
// active picture's transparency, names the template and saves it. The controls bind to the design's
// template-editor operations.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "platform/dialogs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sw {

class TAdvSpinEdit;
class TMagnetDesign;

class TTemplateTab : public QWidget {
  Q_OBJECT

public:
  // design and the services behind dialogs outlive the tab.
  TTemplateTab(TMagnetDesign& design, const TDialogServices& dialogs, QWidget* parent = nullptr);

  // The folders the template and picture dialogs open in; empty: wherever the platform likes.
  void SetFolders(const std::string& templatesDir, const std::string& imagesDir);
  // Asked before "Load Template" and "clear template design" replace the design; false keeps it.
  // Unset: the design is replaced without asking.
  std::function<bool()> ConfirmReplace;

  // The controls follow the design (after a load, an undo, or a change from another tab).
  void ShowTemplate();

  // --- Handlers, each guarded: an error ends in a message box ---
  void CBActiveImageChange();
  void BLoadActiveImageClick();
  void SEActiveAlphaChange();
  void SETemplateWidthChange();
  void SETemplateHeightChange();
  void SETemplateMarginChange();
  void CBAspectRatioClick();
  void CBViewmaskClick();
  void CBBorderClick();
  void ETemplateNameChange();
  void CBTemplateTypeChange();
  void BPreviewTemplateClick();
  void BClearTemplateClick();
  void BLoadTemplateClick();
  // True when the template was saved; false when the dialog was cancelled or the save failed.
  bool BSaveTemplateClick();

  QLabel* LHeader;
  QComboBox* CBActiveImage;
  QPushButton* BLoadActiveImage;
  QLineEdit* ETemplateName;
  QComboBox* CBTemplateType;
  QCheckBox* CBBorder;
  TAdvSpinEdit* SETemplateWidth;
  TAdvSpinEdit* SETemplateHeight;
  TAdvSpinEdit* SETemplateMargin;
  QCheckBox* CBAspectRatio;
  QCheckBox* CBViewmask;
  TAdvSpinEdit* SEActiveAlpha;
  QPushButton* BPreviewTemplate;
  QPushButton* BLoadTemplate;
  QPushButton* BSaveTemplate;
  QPushButton* BClearTemplate;

signals:
  // A template was loaded or built anew (pictures, size): the window refreshes all its controls
  // and enables them.
  void designApplied();
  // A stored value changed (the design is modified).
  void designModified();
  // Another layer became the active image: the picture controls show it.
  void activeImageChanged();

private:
  template <class Handler>
  bool Guarded(Handler&& handler);

  TMagnetDesign& design_;
  TDialogServices dialogs_;
  std::string templatesDir_;
  std::string imagesDir_;
  // Set while the tab writes its own controls, so their handlers do nothing.
  bool updating_ = false;
};

}  // namespace sw
