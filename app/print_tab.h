// The print tab of the designer window: the grid of positions on the sheet, the paper type and
// orientation, the paper size with its Letter and A4 presets, the outer and inner margins, the
// printer offset, and the buttons that refresh the preview, print it, save it as a PDF file and
// print a guide sheet. The controls bind to the design's print settings and grid; the sheet is the
// print-preview document the window shows beside the tab.
#pragma once

#include <QWidget>

#include <utility>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "magnet/merge_table.h"
#include "magnet/print_run.h"
#include "platform/file_printer.h"
#include "platform/dialogs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace sw {

class ISettings;
class TAdvSpinEdit;
class TFConfig;
class TLayoutGridView;
class TMagnetDesign;
class TPrintSheet;

class TPrintTab : public QWidget {
  Q_OBJECT

public:
  // design, sheet and the services behind dialogs outlive the tab.
  TPrintTab(TMagnetDesign& design, TPrintSheet& sheet, const TDialogServices& dialogs, QWidget* parent = nullptr);

  // The pictures of the printing-tips dialog; null shows it without an icon.
  void SetConfig(const TFConfig* config) { config_ = config; }
  // Where the used positions of each template's sheet are kept (not owned); null keeps none and
  // asks nothing after a print.
  void SetSettings(ISettings* settings) { settings_ = settings; }

  // The print-preview page becoming visible: the layout is rebuilt.
  void TabSheet4Show();
  // The controls follow the design's print settings and grid (after a template load or an undo).
  void ShowSettings();

  // The printer offset applied to every print and PDF file of this run of the program, millimetres.
  TPrintRunOptions RunOptions() const;
  // The table of the design's merge file, read when the file was chosen or the design loaded; none
  // without a merge or when the file could not be read (LMerge says why).
  const TMergeTable* MergeTable() const { return mergeTable_ ? &*mergeTable_ : nullptr; }
  // The sheet of the merge the preview shows (0-based) and how many the print makes (1 without a
  // merge).
  int32_t PreviewSheet() const { return previewSheet_; }
  int32_t PreviewSheets() const { return previewSheets_; }

  // --- Handlers, each guarded: an error ends in a message box ---
  void SGPrintLayoutSelectCell(int column, int row);
  void SGPrintLayoutClick();
  void BSelectAllClick();
  void BSelectNoneClick();
  void CBPrecutClick();
  void CBUncutClick();
  void CBPortraitClick();
  void CBLandscapeClick();
  void SEPaperWidthChange();
  void SEPaperHeightChange();
  void SEOuterMarginXChange();
  void SEOuterMarginYChange();
  void SEInnerMarginXChange();
  void SEInnerMarginYChange();
  void BPaperA4Click();
  void BPaperLetterClick();
  void BRefreshPreviewClick();
  void BPrintClick();
  void BSavePdfClick();
  void BPrintGuideSheetClick();
  void BPrintingTipsClick();
  void BMergeFileClick();
  void BMergeClearClick();
  void CBMergePictureChange();
  void BSheetPreviousClick();
  void BSheetNextClick();

  QLabel* LHeader;
  TLayoutGridView* SGPrintLayout;
  QPushButton* BSelectAll;
  QPushButton* BSelectNone;
  QCheckBox* CBPrecut;
  QCheckBox* CBUncut;
  QCheckBox* CBPortrait;
  QCheckBox* CBLandscape;
  TAdvSpinEdit* SEPaperWidth;
  TAdvSpinEdit* SEPaperHeight;
  QPushButton* BPaperA4;
  QPushButton* BPaperLetter;
  TAdvSpinEdit* SEOuterMarginX;
  TAdvSpinEdit* SEOuterMarginY;
  TAdvSpinEdit* SEInnerMarginX;
  TAdvSpinEdit* SEInnerMarginY;
  TAdvSpinEdit* SEOffsetX;
  TAdvSpinEdit* SEOffsetY;
  QPushButton* BRefreshPreview;
  QPushButton* BPrint;
  QPushButton* BSavePdf;
  QPushButton* BPrintGuideSheet;
  QPushButton* BPrintingTips;
  // Says when the paper holds more copies than one sheet is laid out with.
  QLabel* LLayoutNote;
  // Says which positions of the sheet earlier prints used ("all" gives a fresh sheet).
  QLabel* LUsedNote;
  // The merge source: choose a CSV file, clear it, and its row count and first row.
  QPushButton* BMergeFile;
  QPushButton* BMergeClear;
  QLabel* LMerge;
  // The column of the merge file naming each copy's picture: "No picture" (the design's own for
  // every copy) first, then the table's columns; disabled without a table.
  QComboBox* CBMergePicture;
  // The preview's sheet of a merge of several: previous, next, "sheet 2 of 3".
  QPushButton* BSheetPrevious;
  QPushButton* BSheetNext;
  QLabel* LSheet;
  // How long the print settings must rest before the preview is laid out again by itself.
  static constexpr int kPreviewPauseMs = 300;
  QTimer* PreviewTimer() const { return previewTimer_; }

signals:
  // A stored print setting changed (the design is modified).
  void designModified();
  // The sheet was laid out anew: the preview needs repainting.
  void previewChanged();
  // A print went to the printer: the window returns to the design tab.
  void printed();
  // The merge file was chosen, cleared or read anew: the design view shows its first row.
  void mergeChanged();

private:
  template <class Handler>
  void Guarded(Handler&& handler);
  // Lays the sheet out and shows its grid; errors pass on.
  void RebuildLayout();
  // The grid widget shows the design's grid.
  void ShowGrid();
  // "refresh" enabled while the layout is out of date.
  void ShowStale();
  // The grid and "refresh" follow the sheet just laid out, and the preview is repainted.
  void ShowSheet();
  // Lays the sheet out and prints it (the merge's sheets, with one) on printer with the offset,
  // showing progress under label; returns the positions printed on the last sheet and whether
  // that was the sheet whose used positions were left out.
  std::pair<std::vector<int32_t>, bool> PrintSheetOn(IPrinter& printer, const char* label);
  // Reads the design's merge file when it is not the one read; a file that cannot be read leaves
  // no table and LMerge saying why. The design's message shows the table's first row.
  void LoadMerge();
  // LMerge, "clear", the picture column and the sheet pager follow the merge.
  void ShowMerge();
  // The merge's run options: the used positions of the sheet are left blank on its first sheet.
  TMergeRunOptions MergeOptions() const;
  // After a print of printed on the sheet whose used positions were used: offers to mark them
  // used too, and the grid leaves them out; a sheet used up is fresh again.
  void OfferMarkUsed(const std::vector<int32_t>& used, const std::vector<int32_t>& printed, bool sameSheet);
  // The note of the used positions follows the settings.
  void ShowUsed();
  // A setting changed by the user: the layout is out of date, the design modified.
  void SettingChanged();
  // The settings rested: the shown sheet is laid out again.
  void PreviewTimerTimer();
  // The request for the print dialog: the layout's paper.
  TPrintRequest PrintRequest() const;
  // The paper of the layout as a PDF file has it; raises "Invalid paper size" for paper no sheet has.
  TFilePrinterSettings PaperSettings() const;
  // Asks the print dialog for a printer; null when cancelled or without a dialog. Raises for paper
  // no sheet has.
  IPrinter* ChoosePrinter();

  TMagnetDesign& design_;
  TPrintSheet& sheet_;
  TDialogServices dialogs_;
  const TFConfig* config_ = nullptr;
  ISettings* settings_ = nullptr;
  std::optional<TMergeTable> mergeTable_;
  // The file mergeTable_ was read from (or failed to be read from).
  std::string mergeRead_;
  std::string mergeError_;
  int32_t previewSheet_ = 0;
  int32_t previewSheets_ = 1;
  // Set while the tab writes its own controls, so their handlers do nothing.
  bool updating_ = false;
  QTimer* previewTimer_ = nullptr;
};

}  // namespace sw
