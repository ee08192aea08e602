// The design tab: "select template", "load design" and "save design", the message with its font,
// place, size and angle, the background colour and the user's picture. Every control acts through
// the magnet model; the controls follow the model after every change, written with Updating set
// (or quietly) so that their own change handlers do nothing.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

#include "app/app_folders.h"
#include "platform/dialogs.h"

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace sw {

class TAdvSpinEdit;
class TColorPickerButton;
class TDesignUndo;
class TMagnetDesign;

class TDesignTab : public QWidget {
  Q_OBJECT

public:
  // design, undo and the dialogs outlive the tab.
  TDesignTab(TMagnetDesign& design, TDesignUndo& undo, const TDialogServices& dialogs, const TAppFolders& folders,
             QWidget* parent = nullptr);

  // Asked before a template or design replaces a modified one: true to go on (the design was
  // saved, or the user chose not to), false to keep it. Unset: always go on.
  std::function<bool()> ConfirmReplace;
  // The folders the file dialogs open in.
  void SetFolders(const TAppFolders& folders) { folders_ = folders; }

  // --- Handlers (every one runs guarded: an error ends in a message box) ---
  void BSelectTemplateClick();
  void BLoadDesignClick();
  // True when the design was saved (false when the dialog was cancelled or the save failed).
  bool BSaveDesignClick();
  // "Save Design": over the design file last opened or saved, else as "save design" does.
  bool SaveDesign();
  // Where the file dialogs open: the folder last used for designs or pictures, else the program's
  // folder when it holds any, else the user's Pictures folder (pictures) or home folder.
  std::string DesignDialogDir() const;
  std::string PictureDialogDir() const;
  void MemoChange();
  void MemoEnter();
  void MemoKeyPress();
  void BFontClick();
  void SETextHorizontalChange();
  void SETextVerticalChange();
  void SETextWidthChange();
  void SETextHeightChange();
  void SETextRotateChange();
  void BTextResetClick();
  // "fit text": the message's font shrunk until its box shows all of it.
  void BFitTextClick();
  void CBTextBGClick();
  void CPBbgColourChange();
  void BLoadImageClick();
  void BClearImageClick();
  void BImageResetClick();
  void SEImageZoomChange();
  void SEImageRotateChange();
  void SEImageHorizontalChnge();
  void SEImageVerticalChange();
  // Opens a design (".fmd") or template (any other name) file as "load design" or "select template"
  // do after their dialog: a file named on the command line, or opened from the desktop.
  void OpenDesignOrTemplate(const std::string& fileName);
  // Loads a picture file as the user's picture, as "load image" does after its dialog (a picture
  // dropped on the design view).
  void LoadUserPicture(const std::string& fileName);

  // --- Controls following the model ---
  // Every control from the design: message, font, see-through box, colour, picture, template name.
  void RefreshControls();
  void ShowTextControls();
  // The message field shows the text layer's text (after it was edited on the page).
  void ShowMessageText();
  void ShowImageControls();
  // The picture group as the model allows it: enabled with a visible user picture, else only
  // "load image" and "reset" (after "clear image").
  void ShowImageGroupState();
  // The font field's text and the colour swatch from the message layer.
  void ShowFont();
  // Says that the message's font is not installed and which family draws it; empty otherwise.
  QString FontHint() const;

  // The groups EnableDesignControls works on, and the two buttons it sets on its own.
  QGroupBox* MessageGroup() const { return gbMessage_; }
  QGroupBox* ColourGroup() const { return gbColour_; }
  QGroupBox* ImageGroup() const { return gbImage_; }
  QPushButton* LoadImageButton() const { return bLoadImage_; }
  QPushButton* SaveDesignButton() const { return bSaveDesign_; }
  QPlainTextEdit* Memo() const { return memo_; }
  bool Updating() const { return updating_; }

signals:
  // A template or design was loaded, or a load failed (the design may then be empty): the window
  // refreshes and enables what the design now allows.
  void designApplied();
  // The user changed the design through a control.
  void designModified();
  // The message box began to flash without a change (the message got the focus).
  void flashStarted();
  // The undo or redo keys pressed in the message box: the design's undo, not the box's.
  void undoRequested();
  void redoRequested();

protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  // Runs a handler guarded; designModified when it got through.
  bool Guard(const std::function<void()>& handler);
  // A change of the design as one undo step, guarded.
  void Change(const std::function<void()>& change, const std::string& key = {});
  // A change that loads, clears or replaces the user's picture, whose undo brings it back.
  void PictureChange(const std::function<void()>& change);
  // The rotation spin's value folded into [-179, 180], written back quietly when it changed.
  int32_t FoldedRotation(TAdvSpinEdit* spin);
  // The position spin edits of the text or picture after a rotation moved its corner.
  void ShowTextPosition();
  void ShowImagePosition();
  bool OpenFile(bool designFile);
  void Open(const std::string& fileName, bool designFile);
  // The template's name in bold in "current template".
  void ShowTemplateName();
  TAdvSpinEdit* NewSpin(const char* name, const char* above, const char* below, QWidget* parent,
                        QGridLayout* grid, int row, int column, double minimum, double maximum);

  TMagnetDesign& design_;
  TDesignUndo& undo_;
  TDialogServices dialogs_;
  TAppFolders folders_;
  bool updating_ = false;
  // The design file last opened or saved (empty for a template) and the folders last used.
  std::string designPath_;
  std::string lastDesignDir_;
  std::string lastPictureDir_;

  QPushButton* bSelectTemplate_;
  QGroupBox* gbTemplate_;
  QLabel* lTemplateName_;
  QPushButton* bLoadDesign_;
  QPushButton* bSaveDesign_;
  QGroupBox* gbMessage_;
  QPlainTextEdit* memo_;
  QPushButton* bFont_;
  QLineEdit* eFont_;
  QLabel* eFontColour_;
  TAdvSpinEdit* seTextHorizontal_;
  TAdvSpinEdit* seTextVertical_;
  TAdvSpinEdit* seTextRotate_;
  TAdvSpinEdit* seTextWidth_;
  TAdvSpinEdit* seTextHeight_;
  QPushButton* bTextReset_;
  QPushButton* bFitText_;
  QCheckBox* cbTextBG_;
  QGroupBox* gbColour_;
  TColorPickerButton* cpbBgColour_;
  QGroupBox* gbImage_;
  QPushButton* bLoadImage_;
  QPushButton* bClearImage_;
  QPushButton* bImageReset_;
  TAdvSpinEdit* seImageHorizontal_;
  TAdvSpinEdit* seImageVertical_;
  TAdvSpinEdit* seImageZoom_;
  TAdvSpinEdit* seImageRotate_;
};

}  // namespace sw
