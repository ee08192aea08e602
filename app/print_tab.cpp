#include "app/print_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "app/aux_dialogs.h"
#include "app/handler_guard.h"
#include "app/tab_controls.h"
#include "base/exception.h"
#include "magnet/guide_sheet.h"
#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "magnet/used_positions.h"
#include "platform/message_box.h"
#include "platform/pdf_printer.h"
#include "widgets/layout_grid.h"
#include "widgets/spin_edit.h"

namespace sw {

namespace {

// Paper presets, upright, in the whole millimetres the paper spin edits hold (Letter is
// 215.9 x 279.4 mm).
constexpr int32_t kA4Width = 210, kA4Height = 297;
constexpr int32_t kLetterWidth = 216, kLetterHeight = 279;
// The printer offset's bound in the spin edits: what the print run accepts.
constexpr double kOffsetLimit = kMaxPrintOffset;
// The resolution of a sheet saved as PDF: the print quality's.
constexpr int32_t kPdfDpi = 300;

// A caption above its spin edit, in one cell of a grid layout.
void AddSpin(QGridLayout* grid, int row, int column, const char* caption, TAdvSpinEdit* spin) {
  grid->addWidget(NewCaption(spin, caption), row, column);
  grid->addWidget(spin, row + 1, column);
}

}  // namespace

TPrintTab::TPrintTab(TMagnetDesign& design, TPrintSheet& sheet, const TDialogServices& dialogs, QWidget* parent)
    : QWidget(parent), design_(design), sheet_(sheet), dialogs_(dialogs) {
  setObjectName(QStringLiteral("TabSheet4"));
  previewTimer_ = new QTimer(this);
  previewTimer_->setObjectName(QStringLiteral("PreviewTimer"));
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(kPreviewPauseMs);
  connect(previewTimer_, &QTimer::timeout, this, [this] { PreviewTimerTimer(); });
  LHeader = NewTabHeader(this, "print magnet");

  auto* gridCaption = new QLabel(QStringLiteral("select print layout"), this);
  SGPrintLayout = new TLayoutGridView(this);
  SGPrintLayout->setObjectName(QStringLiteral("SGPrintLayout"));
  SGPrintLayout->setMinimumHeight(150);
  BSelectAll = NewButton(this, "BSelectAll", "all");
  BSelectNone = NewButton(this, "BSelectNone", "none");

  CBPrecut = NewCheckBox(this, "CBPrecut", "pre-cut paper");
  CBUncut = NewCheckBox(this, "CBUncut", "uncut paper");
  CBPortrait = NewCheckBox(this, "CBPortrait", "portrait");
  CBLandscape = NewCheckBox(this, "CBLandscape", "landscape");

  SEPaperWidth = NewSpinEdit(this, "SEPaperWidth", svtInteger);
  SEPaperHeight = NewSpinEdit(this, "SEPaperHeight", svtInteger);
  BPaperA4 = NewButton(this, "BPaperA4", "A4");
  BPaperLetter = NewButton(this, "BPaperLetter", "Letter");
  SEOuterMarginX = NewSpinEdit(this, "SEOuterMarginX", svtFloat);
  SEOuterMarginY = NewSpinEdit(this, "SEOuterMarginY", svtFloat);
  SEInnerMarginX = NewSpinEdit(this, "SEInnerMarginX", svtFloat);
  SEInnerMarginY = NewSpinEdit(this, "SEInnerMarginY", svtFloat);
  SEOffsetX = NewSpinEdit(this, "SEOffsetX", svtFloat);
  SEOffsetY = NewSpinEdit(this, "SEOffsetY", svtFloat);
  for (TAdvSpinEdit* offset : {SEOffsetX, SEOffsetY}) {
    offset->SetRange(-kOffsetLimit, kOffsetLimit);
    offset->setToolTip(QStringLiteral("moves everything printed right (X) or down (Y) for a printer that feeds "
                                      "the paper off its place; kept until the program ends"));
  }

  BRefreshPreview = NewButton(this, "BRefreshPreview", "refresh");
  BPrint = NewButton(this, "BPrint", "print");
  BSavePdf = NewButton(this, "BSavePdf", "save as PDF");
  BPrintGuideSheet = NewButton(this, "BPrintGuideSheet", "print guide sheet");
  BPrintingTips = NewButton(this, "BPrintingTips", "show printing tips");
  BPrintingTips->hide();
  LLayoutNote = new QLabel(this);
  LLayoutNote->setObjectName(QStringLiteral("LLayoutNote"));
  LLayoutNote->setWordWrap(true);
  LLayoutNote->hide();
  LUsedNote = new QLabel(this);
  LUsedNote->setObjectName(QStringLiteral("LUsedNote"));
  LUsedNote->setWordWrap(true);
  LUsedNote->hide();
  BMergeFile = NewButton(this, "BMergeFile", "merge file...");
  BMergeFile->setToolTip(QStringLiteral("a CSV file whose rows fill the ${Column} fields of the message, one copy a row"));
  BMergeClear = NewButton(this, "BMergeClear", "clear");
  LMerge = new QLabel(this);
  LMerge->setObjectName(QStringLiteral("LMerge"));
  LMerge->setWordWrap(true);
  CBMergePicture = new QComboBox(this);
  CBMergePicture->setObjectName(QStringLiteral("CBMergePicture"));
  CBMergePicture->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  CBMergePicture->setToolTip(QStringLiteral("the column holding each copy's picture file, relative to the merge file"));
  BSheetPrevious = NewButton(this, "BSheetPrevious", "<");
  BSheetNext = NewButton(this, "BSheetNext", ">");
  LSheet = new QLabel(this);
  LSheet->setObjectName(QStringLiteral("LSheet"));

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(LHeader);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(8, 4, 8, 8);
  column->addLayout(body, 1);

  auto* gridRow = new QHBoxLayout;
  gridRow->addWidget(gridCaption);
  gridRow->addStretch(1);
  gridRow->addWidget(BSelectAll);
  gridRow->addWidget(BSelectNone);
  body->addLayout(gridRow);
  body->addWidget(SGPrintLayout, 1);
  body->addWidget(LUsedNote);

  auto* switches = new QGridLayout;
  switches->addWidget(CBPrecut, 0, 0);
  switches->addWidget(CBUncut, 0, 1);
  switches->addWidget(CBPortrait, 1, 0);
  switches->addWidget(CBLandscape, 1, 1);
  body->addLayout(switches);

  auto* sizes = new QGridLayout;
  AddSpin(sizes, 0, 0, "paper width", SEPaperWidth);
  AddSpin(sizes, 0, 1, "paper height", SEPaperHeight);
  auto* presets = new QHBoxLayout;
  presets->addWidget(BPaperLetter);
  presets->addWidget(BPaperA4);
  sizes->addLayout(presets, 1, 2);
  AddSpin(sizes, 2, 0, "outer margin X", SEOuterMarginX);
  AddSpin(sizes, 2, 1, "outer margin Y", SEOuterMarginY);
  AddSpin(sizes, 4, 0, "inner margin X", SEInnerMarginX);
  AddSpin(sizes, 4, 1, "inner margin Y", SEInnerMarginY);
  AddSpin(sizes, 6, 0, "printer offset X", SEOffsetX);
  AddSpin(sizes, 6, 1, "printer offset Y", SEOffsetY);
  body->addLayout(sizes);

  auto* mergeRow = new QHBoxLayout;
  mergeRow->addWidget(BMergeFile);
  mergeRow->addWidget(BMergeClear);
  mergeRow->addStretch(1);
  mergeRow->addWidget(BSheetPrevious);
  mergeRow->addWidget(LSheet);
  mergeRow->addWidget(BSheetNext);
  body->addLayout(mergeRow);
  auto* pictureRow = new QHBoxLayout;
  pictureRow->addWidget(NewCaption(CBMergePicture, "picture column"));
  pictureRow->addWidget(CBMergePicture);
  pictureRow->addStretch(1);
  body->addLayout(pictureRow);
  body->addWidget(LMerge);

  auto* actions = new QGridLayout;
  actions->addWidget(BRefreshPreview, 0, 0);
  actions->addWidget(BPrint, 0, 1);
  actions->addWidget(BSavePdf, 0, 2);
  actions->addWidget(BPrintGuideSheet, 1, 0, 1, 2);
  actions->addWidget(BPrintingTips, 1, 2);
  body->addLayout(actions);
  body->addWidget(LLayoutNote);

  connect(SGPrintLayout, &TLayoutGridView::cellClicked, this, [this](int32_t c, int32_t r) {
    SGPrintLayoutSelectCell(c, r);
    SGPrintLayoutClick();
  });
  connect(BSelectAll, &QPushButton::clicked, this, &TPrintTab::BSelectAllClick);
  connect(BSelectNone, &QPushButton::clicked, this, &TPrintTab::BSelectNoneClick);
  connect(CBPrecut, &QCheckBox::toggled, this, &TPrintTab::CBPrecutClick);
  connect(CBUncut, &QCheckBox::toggled, this, &TPrintTab::CBUncutClick);
  connect(CBPortrait, &QCheckBox::toggled, this, &TPrintTab::CBPortraitClick);
  connect(CBLandscape, &QCheckBox::toggled, this, &TPrintTab::CBLandscapeClick);
  connect(SEPaperWidth, &TAdvSpinEdit::valueChanged, this, &TPrintTab::SEPaperWidthChange);
  connect(SEPaperHeight, &TAdvSpinEdit::valueChanged, this, &TPrintTab::SEPaperHeightChange);
  connect(SEOuterMarginX, &TAdvSpinEdit::valueChanged, this, &TPrintTab::SEOuterMarginXChange);
  connect(SEOuterMarginY, &TAdvSpinEdit::valueChanged, this, &TPrintTab::SEOuterMarginYChange);
  connect(SEInnerMarginX, &TAdvSpinEdit::valueChanged, this, &TPrintTab::SEInnerMarginXChange);
  connect(SEInnerMarginY, &TAdvSpinEdit::valueChanged, this, &TPrintTab::SEInnerMarginYChange);
  connect(BPaperA4, &QPushButton::clicked, this, &TPrintTab::BPaperA4Click);
  connect(BPaperLetter, &QPushButton::clicked, this, &TPrintTab::BPaperLetterClick);
  connect(BRefreshPreview, &QPushButton::clicked, this, &TPrintTab::BRefreshPreviewClick);
  connect(BPrint, &QPushButton::clicked, this, &TPrintTab::BPrintClick);
  connect(BSavePdf, &QPushButton::clicked, this, &TPrintTab::BSavePdfClick);
  connect(BPrintGuideSheet, &QPushButton::clicked, this, &TPrintTab::BPrintGuideSheetClick);
  connect(BPrintingTips, &QPushButton::clicked, this, &TPrintTab::BPrintingTipsClick);
  connect(BMergeFile, &QPushButton::clicked, this, &TPrintTab::BMergeFileClick);
  connect(BMergeClear, &QPushButton::clicked, this, &TPrintTab::BMergeClearClick);
  connect(CBMergePicture, &QComboBox::activated, this, &TPrintTab::CBMergePictureChange);
  connect(BSheetPrevious, &QPushButton::clicked, this, &TPrintTab::BSheetPreviousClick);
  connect(BSheetNext, &QPushButton::clicked, this, &TPrintTab::BSheetNextClick);

  ShowSettings();
  // The tips follow the paper type only once the user or a template sets it.
  BPrintingTips->hide();
}

template <class Handler>
void TPrintTab::Guarded(Handler&& handler) {
  RunGuarded(dialogs_.MessageBoxes, std::forward<Handler>(handler));
}

TPrintRunOptions TPrintTab::RunOptions() const {
  TPrintRunOptions options;
  options.OffsetX = static_cast<float>(SEOffsetX->Value());
  options.OffsetY = static_cast<float>(SEOffsetY->Value());
  return options;
}

// --- Showing the model ---

void TPrintTab::ShowSettings() {
  const TPrintSettings& settings = design_.PrintSettings();
  updating_ = true;
  {
    const QSignalBlocker b1(CBPrecut), b2(CBUncut), b3(CBPortrait), b4(CBLandscape);
    CBPrecut->setChecked(settings.Precut);
    CBUncut->setChecked(!settings.Precut);
    CBPortrait->setChecked(settings.Portrait);
    CBLandscape->setChecked(!settings.Portrait);
  }
  SEPaperWidth->SetValueQuietly(settings.PaperWidth);
  SEPaperHeight->SetValueQuietly(settings.PaperHeight);
  SEOuterMarginX->SetValueQuietly(settings.OuterMarginX);
  SEOuterMarginY->SetValueQuietly(settings.OuterMarginY);
  SEInnerMarginX->SetValueQuietly(settings.InnerMarginX);
  SEInnerMarginY->SetValueQuietly(settings.InnerMarginY);
  updating_ = false;
  BPrintingTips->setVisible(settings.Precut);
  LoadMerge();
  ShowMerge();
  ShowGrid();
  ShowStale();
}

void TPrintTab::ShowGrid() {
  TLayoutGrid& grid = design_.Grid();
  const QSignalBlocker blocker(SGPrintLayout);
  SGPrintLayout->Resize(grid.Rows(), grid.Columns());
  for (int32_t r = 0; r < grid.Rows(); ++r)
    for (int32_t c = 0; c < grid.Columns(); ++c) SGPrintLayout->SetSkippedAt(c, r, !grid.Selected(c, r));
}

void TPrintTab::ShowStale() {
  BRefreshPreview->setEnabled(design_.LayoutStale());
  // The preview follows by itself once the changes pause ("refresh" does it at once).
  if (design_.LayoutStale()) previewTimer_->start();
}

void TPrintTab::PreviewTimerTimer() {
  if (!isVisible() || !design_.LayoutStale()) return;
  Guarded([this] { RebuildLayout(); });
}

void TPrintTab::SettingChanged() {
  design_.SetLayoutStale(true);
  ShowStale();
  emit designModified();
}

// --- Layout ---

void TPrintTab::ShowSheet() {
  ShowGrid();
  ShowStale();
  emit previewChanged();
}

void TPrintTab::RebuildLayout() {
  TPrintLayout layout;
  // A grid laid out afresh (a template or design just loaded) leaves out what the sheet has used.
  const bool fresh = design_.Grid().ResetPending();
  try {
    layout = sheet_.BuildPrintLayout(design_);
    if (fresh && DeselectPositions(design_.Grid(), UsedPositions(settings_, design_))) {
      layout = sheet_.BuildPrintLayout(design_);
    }
    previewSheets_ = 1;
    if (mergeTable_) {
      previewSheets_ = ShowMergeSheet(design_, sheet_, *mergeTable_, MergeOptions(), previewSheet_);
    }
    previewSheet_ = std::clamp(previewSheet_, 0, previewSheets_ - 1);
  } catch (...) {
    previewSheets_ = 1;
    previewSheet_ = 0;
    ShowMerge();
    // The copies placed so far stay on the sheet; the grid and "refresh" say what the sheet is.
    ShowSheet();
    throw;
  }
  LLayoutNote->setText(QString::fromStdString(layout.Message));
  LLayoutNote->setVisible(layout.Capped && !layout.Message.empty());
  ShowUsed();
  ShowMerge();
  ShowSheet();
}

// --- Merge ---

TMergeRunOptions TPrintTab::MergeOptions() const {
  TMergeRunOptions merge;
  merge.Used = UsedPositions(settings_, design_);
  return merge;
}

void TPrintTab::LoadMerge() {
  const std::string& file = design_.MergeFileName();
  if (file == mergeRead_) return;
  mergeRead_ = file;
  mergeTable_.reset();
  mergeError_.clear();
  previewSheet_ = 0;
  if (!file.empty()) {
    try {
      mergeTable_ = TMergeTable::Load(file);
    } catch (const std::exception& e) {
      mergeError_ = e.what();
    }
  }
  design_.ShowMergeRow(MergeTable());
}

void TPrintTab::ShowMerge() {
  BMergeClear->setEnabled(!design_.MergeFileName().empty());
  QString text;
  if (mergeTable_) {
    const TMergeTable& table = *mergeTable_;
    text = QStringLiteral("%1: %2 row%3")
               .arg(QString::fromStdString(design_.MergeFileName()).section(QLatin1Char('/'), -1))
               .arg(table.RowCount())
               .arg(table.RowCount() == 1 ? "" : "s");
    if (table.RowCount() > 0) {
      QStringList fields;
      for (size_t c = 0; c < table.Columns().size(); ++c) {
        fields << QStringLiteral("%1 = %2").arg(QString::fromStdString(table.Columns()[c]),
                                               QString::fromStdString(table.Row(0)[c]));
      }
      constexpr int kShownChars = 240;
      text += QStringLiteral("; first: ") + fields.join(QStringLiteral(", ")).left(kShownChars);
    }
  } else if (!mergeError_.empty()) {
    text = QString::fromStdString(mergeError_);
  } else {
    text = QStringLiteral("no merge file: every copy prints the same message");
  }
  LMerge->setText(text);
  {
    // "No picture" stands for no column and for a column the table lacks alike.
    const QSignalBlocker blocker(CBMergePicture);
    CBMergePicture->clear();
    CBMergePicture->addItem(QStringLiteral("No picture"));
    int32_t current = -1;
    if (mergeTable_) {
      for (const std::string& name : mergeTable_->Columns()) CBMergePicture->addItem(QString::fromStdString(name));
      if (!design_.MergePictureColumn().empty()) current = mergeTable_->ColumnIndex(design_.MergePictureColumn());
    }
    CBMergePicture->setCurrentIndex(current + 1);
    CBMergePicture->setEnabled(mergeTable_.has_value());
  }
  const bool pages = previewSheets_ > 1;
  BSheetPrevious->setVisible(pages);
  BSheetNext->setVisible(pages);
  LSheet->setVisible(pages);
  BSheetPrevious->setEnabled(previewSheet_ > 0);
  BSheetNext->setEnabled(previewSheet_ + 1 < previewSheets_);
  LSheet->setText(QStringLiteral("sheet %1 of %2").arg(previewSheet_ + 1).arg(previewSheets_));
}

void TPrintTab::BMergeFileClick() {
  Guarded([this] {
    if (!dialogs_.Files) return;
    TFileDialogRequest request;
    request.Title = "merge file";
    request.Filters = {{"CSV table (*.csv)", {"csv"}}, {"Text (*.txt *.tsv)", {"txt", "tsv"}}};
    const std::optional<std::string> path = dialogs_.Files->OpenFile(request);
    if (!path) return;
    // A table that cannot be read is refused before the design takes it.
    TMergeTable table = TMergeTable::Load(*path);
    const int32_t picture = table.ColumnIndex(design_.MergePictureColumn());
    design_.SetMerge(*path, picture >= 0 ? design_.MergePictureColumn() : std::string());
    mergeTable_ = std::move(table);
    mergeRead_ = design_.MergeFileName();
    mergeError_.clear();
    previewSheet_ = 0;
    design_.ShowMergeRow(MergeTable());
    SettingChanged();
    RebuildLayout();
    emit mergeChanged();
  });
}

void TPrintTab::BMergeClearClick() {
  Guarded([this] {
    design_.SetMerge("", "");
    LoadMerge();
    SettingChanged();
    RebuildLayout();
    emit mergeChanged();
  });
}

void TPrintTab::CBMergePictureChange() {
  Guarded([this] {
    if (!mergeTable_) return;
    const int index = CBMergePicture->currentIndex();
    const std::vector<std::string>& columns = mergeTable_->Columns();
    const std::string column = index >= 1 && index <= static_cast<int>(columns.size())
                                   ? columns[static_cast<size_t>(index - 1)]
                                   : std::string();
    if (column == design_.MergePictureColumn()) return;
    design_.SetMerge(design_.MergeFileName(), column);
    SettingChanged();
    RebuildLayout();
    emit mergeChanged();
  });
}

void TPrintTab::BSheetPreviousClick() {
  Guarded([this] {
    if (previewSheet_ == 0) return;
    --previewSheet_;
    RebuildLayout();
  });
}

void TPrintTab::BSheetNextClick() {
  Guarded([this] {
    if (previewSheet_ + 1 >= previewSheets_) return;
    ++previewSheet_;
    RebuildLayout();
  });
}

void TPrintTab::ShowUsed() {
  const std::vector<int32_t> used = UsedPositions(settings_, design_);
  QStringList numbers;
  for (const int32_t n : used) numbers << QString::number(n);
  LUsedNote->setText(QStringLiteral("used on this sheet: %1 (\u201call\u201d starts a fresh sheet)")
                         .arg(numbers.join(QStringLiteral(", "))));
  LUsedNote->setVisible(!used.empty());
}

void TPrintTab::OfferMarkUsed(const std::vector<int32_t>& used, const std::vector<int32_t>& printed, bool sameSheet) {
  if (!settings_ || UsedPositionsKey(design_).empty() || printed.empty()) return;
  TLayoutGrid& grid = design_.Grid();
  const int32_t positions = grid.Rows() * grid.Columns();
  const std::vector<int32_t> now = UsedAfterPrint(used, printed, sameSheet, positions);
  if (now.empty() || !sameSheet) {
    // The sheet of the used positions is used up: the next print takes a fresh one, on every
    // position left out for it.
    SetUsedPositions(settings_, design_, {});
    for (const int32_t n : used) grid.SetSelected((n - 1) % grid.Columns(), (n - 1) / grid.Columns(), true);
  }
  if (!now.empty()) {
    const std::string question =
        Format("Mark the %zu printed position%s of the last sheet as used, so that the next print on that "
               "paper leaves %s out?",
               printed.size(), printed.size() == 1 ? "" : "s", printed.size() == 1 ? "it" : "them");
    if (dialogs_.MessageBoxes &&
        dialogs_.MessageBoxes->Show(question, "", TMessageKind::Question, TMessageButtons::YesNo) ==
            TMessageAnswer::Yes) {
      SetUsedPositions(settings_, design_, now);
      DeselectPositions(grid, now);
    } else if (sameSheet) {
      return;
    }
  }
  design_.SetLayoutStale(true);
  RebuildLayout();
}

void TPrintTab::TabSheet4Show() {
  Guarded([this] { RebuildLayout(); });
}

void TPrintTab::BRefreshPreviewClick() {
  Guarded([this] { RebuildLayout(); });
}

// --- Grid ---

void TPrintTab::SGPrintLayoutSelectCell(int column, int row) {
  Guarded([&] {
    // The grid widget toggled its cell as it was made current; the design's grid follows it.
    design_.Grid().SetSelected(column, row, !SGPrintLayout->IsSkippedAt(column, row));
  });
}

void TPrintTab::SGPrintLayoutClick() {
  Guarded([this] {
    design_.SetLayoutStale(true);
    ShowStale();
  });
}

void TPrintTab::BSelectAllClick() {
  Guarded([this] {
    // A fresh sheet: nothing of it is used.
    SetUsedPositions(settings_, design_, {});
    ShowUsed();
    design_.Grid().SelectAll();
    ShowGrid();
    design_.SetLayoutStale(true);
    ShowStale();
  });
}

void TPrintTab::BSelectNoneClick() {
  Guarded([this] {
    design_.Grid().SelectNone();
    ShowGrid();
    design_.SetLayoutStale(true);
    ShowStale();
  });
}

// --- Paper type and orientation: exactly one box of each pair is ticked ---

void TPrintTab::CBPrecutClick() {
  if (updating_) return;
  Guarded([this] {
    const bool precut = CBPrecut->isChecked();
    {
      const QSignalBlocker blocker(CBUncut);
      CBUncut->setChecked(!precut);
    }
    design_.SetPrecut(precut);
    BPrintingTips->setVisible(precut);
    SettingChanged();
  });
}

void TPrintTab::CBUncutClick() {
  if (updating_) return;
  Guarded([this] {
    const bool precut = !CBUncut->isChecked();
    {
      const QSignalBlocker blocker(CBPrecut);
      CBPrecut->setChecked(precut);
    }
    design_.SetPrecut(precut);
    BPrintingTips->setVisible(precut);
    SettingChanged();
  });
}

void TPrintTab::CBPortraitClick() {
  if (updating_) return;
  Guarded([this] {
    const bool portrait = CBPortrait->isChecked();
    {
      const QSignalBlocker blocker(CBLandscape);
      CBLandscape->setChecked(!portrait);
    }
    design_.SetPortrait(portrait);
    SettingChanged();
  });
}

void TPrintTab::CBLandscapeClick() {
  if (updating_) return;
  Guarded([this] {
    const bool portrait = !CBLandscape->isChecked();
    {
      const QSignalBlocker blocker(CBPortrait);
      CBPortrait->setChecked(portrait);
    }
    design_.SetPortrait(portrait);
    SettingChanged();
  });
}

// --- Paper and margins ---

void TPrintTab::SEPaperWidthChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetPaperWidth(SEPaperWidth->IntValue());
    SettingChanged();
  });
}

void TPrintTab::SEPaperHeightChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetPaperHeight(SEPaperHeight->IntValue());
    SettingChanged();
  });
}

void TPrintTab::SEOuterMarginXChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetOuterMarginX(static_cast<float>(SEOuterMarginX->Value()));
    SettingChanged();
  });
}

void TPrintTab::SEOuterMarginYChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetOuterMarginY(static_cast<float>(SEOuterMarginY->Value()));
    SettingChanged();
  });
}

void TPrintTab::SEInnerMarginXChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetInnerMarginX(static_cast<float>(SEInnerMarginX->Value()));
    SettingChanged();
  });
}

void TPrintTab::SEInnerMarginYChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetInnerMarginY(static_cast<float>(SEInnerMarginY->Value()));
    SettingChanged();
  });
}

void TPrintTab::BPaperA4Click() {
  SEPaperWidth->SetValue(kA4Width);
  SEPaperHeight->SetValue(kA4Height);
}

void TPrintTab::BPaperLetterClick() {
  SEPaperWidth->SetValue(kLetterWidth);
  SEPaperHeight->SetValue(kLetterHeight);
}

// --- Printing ---

TPrintRequest TPrintTab::PrintRequest() const {
  TPrintRequest request;
  request.Title = kProductName;
  request.PaperWidth = static_cast<float>(design_.PrintSettings().PaperWidth);
  request.PaperHeight = static_cast<float>(design_.PrintSettings().PaperHeight);
  return request;
}

TFilePrinterSettings TPrintTab::PaperSettings() const {
  TFilePrinterSettings settings;
  settings.PaperWidth = static_cast<float>(design_.PrintSettings().PaperWidth);
  settings.PaperHeight = static_cast<float>(design_.PrintSettings().PaperHeight);
  settings.Dpi = kPdfDpi;
  // A paper no printer has is refused before any dialog asks for a printer or a file.
  CheckFilePrinterSettings(settings);
  return settings;
}

IPrinter* TPrintTab::ChoosePrinter() {
  PaperSettings();
  return dialogs_.Print ? dialogs_.Print->Execute(PrintRequest()) : nullptr;
}

std::pair<std::vector<int32_t>, bool> TPrintTab::PrintSheetOn(IPrinter& printer, const char* label) {
  const std::unique_ptr<IProgress> progress = dialogs_.Progress ? dialogs_.Progress->Begin(label, 100) : nullptr;
  std::pair<std::vector<int32_t>, bool> printed;
  try {
    if (mergeTable_) {
      const TMergeRunResult result =
          RunMergePrint(design_, sheet_, *mergeTable_, printer, RunOptions(), MergeOptions(), progress.get());
      printed = {result.LastSheet, result.Sheets == 1};
    } else {
      RunMagnetPrint(design_, sheet_, printer, RunOptions(), progress.get());
      printed = {PrintedPositions(design_.Grid()), true};
    }
  } catch (...) {
    ShowSheet();
    throw;
  }
  // The run laid the sheet out anew; the preview shows its sheet again.
  if (mergeTable_) RebuildLayout();
  else ShowSheet();
  return printed;
}

void TPrintTab::BPrintClick() {
  Guarded([this] {
    if (design_.LayoutStale()) RebuildLayout();
    IPrinter* printer = ChoosePrinter();
    if (!printer) return;
    const std::vector<int32_t> used = UsedPositions(settings_, design_);
    const auto [onLastSheet, sameSheet] = PrintSheetOn(*printer, "Printing");
    OfferMarkUsed(used, onLastSheet, sameSheet);
    emit printed();
  });
}

void TPrintTab::BSavePdfClick() {
  Guarded([this] {
    const TFilePrinterSettings settings = PaperSettings();
    if (!dialogs_.Files) return;
    TFileDialogRequest request;
    request.Title = "save as PDF";
    std::string name = design_.DesignFileName().empty() ? design_.TemplateFileName() : design_.DesignFileName();
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    request.FileName = (name.empty() ? std::string("magnets") : name) + ".pdf";
    request.Filters = {{"PDF document (*.pdf)", {"pdf"}}};
    request.DefaultExtension = "pdf";
    const std::optional<std::string> path = dialogs_.Files->SaveFile(request);
    if (!path) return;
    TPdfPrinter printer(*path, settings);
    PrintSheetOn(printer, "Saving as PDF");
  });
}

void TPrintTab::BPrintGuideSheetClick() {
  Guarded([this] {
    IPrinter* printer = ChoosePrinter();
    if (!printer) return;
    const std::unique_ptr<IProgress> progress =
        dialogs_.Progress ? dialogs_.Progress->Begin("Printing the guide sheet", 100) : nullptr;
    PrintGuideSheet(design_, *printer, RunOptions(), progress.get());
  });
}

void TPrintTab::BPrintingTipsClick() {
  Guarded([this] {
    TFPrintingTips tips(dialogs_, config_, this);
    if (tips.exec() == QDialog::Accepted && tips.GuideSheetChosen()) BPrintGuideSheetClick();
  });
}

}  // namespace sw
