// The designer window: TFMain, the generic two-pane window with every handler, and
// TFStickwellMain, the window the program creates. The left pane holds the tabs "design", "print"
// and (with the argument "extra") "template"; the right pane shows the design view with its
// rulers, the print preview or the start-up page. The window binds its controls to the magnet
// model (TMagnetDesign, TPrintSheet) and adds only widgets, dialogs and timers.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_folders.h"
#include "magnet/design_objects.h"
#include "platform/dialogs.h"
#include "platform/services.h"

class QAction;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QTabWidget;
class QTimer;

namespace sw {

class ISettings;
class TAboutBox;
class TDesignTab;
class TDesignUndo;
class TDesignViewClient;
class TFConfig;
class TFNoTemplates;
class TFPrintingTips;
class TMagnetDesign;
class TPrintSheet;
class TPrintTab;
class TQtWindowHost;
class TRsRuler;
class TRsRulerCorner;
class TTemplateTab;

// What the starter hands the window.
struct TMainWindowSetup {
  // The command-line arguments after the program name; the first exactly "extra" shows the
  // template tab, a ".fmd" or ".fmt" file is opened once the window shows.
  QStringList Arguments;
  // The font system of the documents (not owned; must outlive the window).
  TFontSystem* Fonts = nullptr;
  // The dialogs the window asks through (not owned). Message boxes also show handler errors.
  TDialogServices Dialogs;
  // Where the program lives ("templates", "designs", "images" are made beside it) and the user's
  // data folder used instead when that one cannot be written.
  std::string ProgramDir;
  std::string DataDir;
  // Folders holding the bundled templates, copied into "templates" when missing there.
  std::vector<std::string> BundledTemplates;
  // Folders that may hold the manual (index.html), the first that has it is opened by Help.
  std::vector<std::string> ManualDirs;
  // The program's settings (not owned; null keeps nothing between runs).
  ISettings* Settings = nullptr;
};

class TFMain : public QMainWindow {
  Q_OBJECT

public:
  explicit TFMain(const TMainWindowSetup& setup, QWidget* parent = nullptr);
  ~TFMain() override;

  // --- Handlers ---
  void FormCreate();
  void FormShow();
  void FormResize();
  // True when the window may close: unmodified, "No", or "Yes" with a save that succeeded.
  bool FormCloseQuery();
  void PageControl1Change(int index);
  void PStartupResize();
  void Exit1Click();
  void Online1Click();
  void About1Click();
  void BuyProducts1Click();
  void Timer1Timer();
  void Undo1Click();
  void Redo1Click();

  // The close question, also asked before a template or design replaces a modified one: true to
  // go on.
  bool ConfirmDiscard();

  // --- State and parts, for the program and its tests ---
  TMagnetDesign& Design() { return *design_; }
  TPrintSheet& Sheet() { return *sheet_; }
  TDesignUndo& Undo() { return *undo_; }
  const TAppFolders& Folders() const { return folders_; }
  bool TemplatesFound() const { return templatesFound_; }
  bool ExtraMode() const { return extra_; }
  // How often the "Empty Templates Folder" dialog was shown.
  int NoTemplatesShown() const { return noTemplatesShown_; }
  TDesignTab* DesignTab() const { return designTab_; }
  TPrintTab* PrintTab() const { return printTab_; }
  TTemplateTab* TemplateTab() const { return templateTab_; }
  QTabWidget* PageControl1() const { return pageControl1_; }
  QStackedWidget* PageControl2() const { return pageControl2_; }
  TQtWindowHost* DesignView() const { return designView_; }
  TQtWindowHost* PreviewView() const { return previewView_; }
  QWidget* DesignPage() const { return tsDesign_; }
  QWidget* PreviewPage() const { return tsPreview_; }
  QWidget* StartupPage() const { return pStartup_; }
  QLabel* StartupPicture() const { return iStartup_; }
  QTimer* Timer1() const { return timer1_; }
  QAction* UndoAction() const { return undo1_; }
  QAction* RedoAction() const { return redo1_; }
  // What the status line says now.
  QString StatusText() const;

protected:
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void BuildWindow();
  void BuildMenu();
  QWidget* NewTabPage(const char* name, const char* header, QWidget* content, QLabel** headerLabel);
  void StyleControls();
  // Refreshes every control from the design just loaded and enables them; with resetPrint the
  // design view is shown. A design left empty by a failed load disables the controls instead.
  void ApplyDesign(bool resetPrint);
  void EnableDesignControls(bool on);
  // Every child widget of container (depth first) enabled or not; the container itself stays.
  void EnableChildControls(QWidget* container, bool on);
  // After the user changed the design: the undo actions, the print layout out of date.
  void DesignChanged();
  // The controls after an undo or redo.
  void FollowUndo();
  // The status line: a message its box cuts off (how much), a font that is not installed.
  void ShowDesignStatus();
  void UpdateUndoActions();
  // Shows the page in the right pane.
  void ShowRightPage(QWidget* page);
  // A picture file dropped on the design view, when it may be loaded as the user's picture.
  bool AcceptsDrop(const QString& path) const;
  // Runs a handler of the window guarded.
  bool Guard(const std::function<void()>& handler);

  TMainWindowSetup setup_;
  TAppFolders folders_;
  bool extra_ = false;
  bool templatesFound_ = false;
  bool shown_ = false;
  int noTemplatesShown_ = 0;

  TServices services_;
  std::unique_ptr<TMagnetDesign> design_;
  std::unique_ptr<TPrintSheet> sheet_;
  std::unique_ptr<TDesignUndo> undo_;
  std::unique_ptr<TDesignViewClient> gestures_;

  TFConfig* config_ = nullptr;
  QTimer* timer1_ = nullptr;
  QTabWidget* pageControl1_ = nullptr;
  QStackedWidget* pageControl2_ = nullptr;
  TDesignTab* designTab_ = nullptr;
  TPrintTab* printTab_ = nullptr;
  TTemplateTab* templateTab_ = nullptr;
  QWidget* tabPrint_ = nullptr;
  QWidget* tsDesign_ = nullptr;
  QWidget* tsPreview_ = nullptr;
  QWidget* pStartup_ = nullptr;
  QLabel* iStartup_ = nullptr;
  TQtWindowHost* designView_ = nullptr;
  TQtWindowHost* previewView_ = nullptr;
  TRsRuler* rulerTop_ = nullptr;
  TRsRuler* rulerLeft_ = nullptr;
  TRsRulerCorner* rulerCorner_ = nullptr;
  QAction* undo1_ = nullptr;
  QAction* redo1_ = nullptr;
  QAction* save1_ = nullptr;
  QAction* saveAs1_ = nullptr;
  QAction* print1_ = nullptr;
  QAction* savePdf1_ = nullptr;
  QLabel* status_ = nullptr;
  bool overflowShown_ = false;
};

class TFStickwellMain : public TFMain {
  Q_OBJECT

public:
  explicit TFStickwellMain(const TMainWindowSetup& setup, QWidget* parent = nullptr);
};

}  // namespace sw
