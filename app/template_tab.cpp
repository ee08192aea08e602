#include "app/template_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <array>
#include <optional>
#include <utility>

#include "app/aux_dialogs.h"
#include "app/handler_guard.h"
#include "app/tab_controls.h"
#include "base/exception.h"
#include "magnet/magnet_design.h"
#include "platform/file_printer.h"
#include "widgets/spin_edit.h"

namespace sw {

namespace {

// The choices of "active image" in their order, and the layers they name.
struct TActiveChoice {
  const char* Caption;
  TLayer Layer;
};
constexpr std::array<TActiveChoice, 4> kActiveChoices{{{"cutout image", TLayer::olImage},
                                                       {"cutout mask", TLayer::olMask},
                                                       {"background image", TLayer::bgImage},
                                                       {"user image", TLayer::usrImage}}};

const TFileFilter kTemplateFilter{"fridge magnet templates (*.fmt)", {"fmt"}};
const std::vector<TFileFilter> kPictureFilters{{"All (*.jpg;*.gif,*.png)", {"jpg", "jpeg", "gif", "png"}},
                                               {"JPEG Image File (*.jpg)", {"jpg", "jpeg"}},
                                               {"GIF Image File (*.gif)", {"gif"}},
                                               {"PNG(*.png)", {"png"}}};

// The magnet's size in whole millimetres, no larger than any paper a printer takes; 0 is "no size
// yet", which "Preview Template" refuses (a page without area, or one turned inside out).
constexpr int32_t kMinMagnetSide = 1;
constexpr double kMaxMagnetSide = kMaxPaperSide;

}  // namespace

TTemplateTab::TTemplateTab(TMagnetDesign& design, const TDialogServices& dialogs, QWidget* parent)
    : QWidget(parent), design_(design), dialogs_(dialogs) {
  setObjectName(QStringLiteral("TabSheet3"));
  LHeader = NewTabHeader(this, "design template");

  CBActiveImage = new QComboBox(this);
  CBActiveImage->setObjectName(QStringLiteral("CBActiveImage"));
  for (const TActiveChoice& choice : kActiveChoices) CBActiveImage->addItem(QString::fromLatin1(choice.Caption));
  CBActiveImage->setCurrentIndex(-1);
  BLoadActiveImage = NewButton(this, "BLoadActiveImage", "load");
  SEActiveAlpha = NewSpinEdit(this, "SEActiveAlpha", svtInteger);
  SEActiveAlpha->SetRange(0, 255);

  ETemplateName = new QLineEdit(this);
  ETemplateName->setObjectName(QStringLiteral("ETemplateName"));
  CBTemplateType = new QComboBox(this);
  CBTemplateType->setObjectName(QStringLiteral("CBTemplateType"));
  CBTemplateType->setEditable(true);
  CBTemplateType->addItem(QString::fromLatin1(kTemplateTypeBasic));
  CBTemplateType->addItem(QString::fromLatin1(kTemplateTypeClockFace));
  CBTemplateType->setInsertPolicy(QComboBox::NoInsert);

  auto* pageGroup = new QGroupBox(QStringLiteral("template page"), this);
  pageGroup->setObjectName(QStringLiteral("GBTemplatePage"));
  SETemplateWidth = NewSpinEdit(pageGroup, "SETemplateWidth", svtInteger);
  SETemplateHeight = NewSpinEdit(pageGroup, "SETemplateHeight", svtInteger);
  SETemplateMargin = NewSpinEdit(pageGroup, "SETemplateMargin", svtFloat);
  SETemplateMargin->SetRange(0, kMaxBleedMargin);
  for (TAdvSpinEdit* size : {SETemplateWidth, SETemplateHeight}) size->SetRange(0, kMaxMagnetSide);
  CBAspectRatio = NewCheckBox(pageGroup, "CBAspectRatio", "keep aspect ratio");
  BPreviewTemplate = NewButton(pageGroup, "BPreviewTemplate", "Preview Template");

  CBBorder = NewCheckBox(this, "CBBorder", "border");
  CBViewmask = NewCheckBox(this, "CBViewmask", "view cutout mask");
  BLoadTemplate = NewButton(this, "BLoadTemplate", "Load Template");
  BSaveTemplate = NewButton(this, "BSaveTemplate", "Save Template");
  BClearTemplate = NewButton(this, "BClearTemplate", "clear template design");

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(LHeader);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(8, 4, 8, 8);
  column->addLayout(body);
  column->addStretch(1);

  auto* fields = new QGridLayout;
  fields->addWidget(NewCaption(CBActiveImage, "active image"), 0, 0);
  fields->addWidget(CBActiveImage, 1, 0);
  fields->addWidget(BLoadActiveImage, 1, 1);
  fields->addWidget(NewCaption(SEActiveAlpha, "active image transparency"), 2, 0, 1, 2);
  fields->addWidget(SEActiveAlpha, 3, 0);
  fields->addWidget(NewCaption(ETemplateName, "template name"), 4, 0);
  fields->addWidget(ETemplateName, 5, 0, 1, 2);
  fields->addWidget(NewCaption(CBTemplateType, "template type"), 6, 0);
  fields->addWidget(CBTemplateType, 7, 0);
  body->addLayout(fields);

  auto* page = new QGridLayout(pageGroup);
  page->addWidget(NewCaption(SETemplateWidth, "width"), 0, 0);
  page->addWidget(NewCaption(SETemplateHeight, "height"), 0, 1);
  page->addWidget(NewCaption(SETemplateMargin, "margin"), 0, 2);
  page->addWidget(SETemplateWidth, 1, 0);
  page->addWidget(SETemplateHeight, 1, 1);
  page->addWidget(SETemplateMargin, 1, 2);
  page->addWidget(CBAspectRatio, 2, 0, 1, 2);
  page->addWidget(BPreviewTemplate, 2, 2);
  body->addWidget(pageGroup);

  auto* switches = new QHBoxLayout;
  switches->addWidget(CBBorder);
  switches->addWidget(CBViewmask);
  switches->addStretch(1);
  body->addLayout(switches);

  auto* files = new QGridLayout;
  files->addWidget(BLoadTemplate, 0, 0);
  files->addWidget(BSaveTemplate, 0, 1);
  files->addWidget(BClearTemplate, 1, 0, 1, 2);
  body->addLayout(files);

  connect(CBActiveImage, &QComboBox::activated, this, &TTemplateTab::CBActiveImageChange);
  connect(BLoadActiveImage, &QPushButton::clicked, this, &TTemplateTab::BLoadActiveImageClick);
  connect(SEActiveAlpha, &TAdvSpinEdit::valueChanged, this, &TTemplateTab::SEActiveAlphaChange);
  // An arrow held down is one change of the picture, undone in one step.
  connect(SEActiveAlpha, &TAdvSpinEdit::gestureStarted, this, [this] { design_.Document().BeginGesture(); });
  connect(SEActiveAlpha, &TAdvSpinEdit::gestureEnded, this,
          [this] { Guarded([this] { design_.Document().EndGesture(); }); });
  connect(SETemplateWidth, &TAdvSpinEdit::valueChanged, this, &TTemplateTab::SETemplateWidthChange);
  connect(SETemplateHeight, &TAdvSpinEdit::valueChanged, this, &TTemplateTab::SETemplateHeightChange);
  connect(SETemplateMargin, &TAdvSpinEdit::valueChanged, this, &TTemplateTab::SETemplateMarginChange);
  connect(CBAspectRatio, &QCheckBox::toggled, this, &TTemplateTab::CBAspectRatioClick);
  connect(CBViewmask, &QCheckBox::toggled, this, &TTemplateTab::CBViewmaskClick);
  connect(CBBorder, &QCheckBox::toggled, this, &TTemplateTab::CBBorderClick);
  connect(ETemplateName, &QLineEdit::textEdited, this, &TTemplateTab::ETemplateNameChange);
  connect(CBTemplateType, &QComboBox::editTextChanged, this, &TTemplateTab::CBTemplateTypeChange);
  connect(BPreviewTemplate, &QPushButton::clicked, this, &TTemplateTab::BPreviewTemplateClick);
  connect(BClearTemplate, &QPushButton::clicked, this, &TTemplateTab::BClearTemplateClick);
  connect(BLoadTemplate, &QPushButton::clicked, this, &TTemplateTab::BLoadTemplateClick);
  connect(BSaveTemplate, &QPushButton::clicked, this, [this] { BSaveTemplateClick(); });

  ShowTemplate();
}

void TTemplateTab::SetFolders(const std::string& templatesDir, const std::string& imagesDir) {
  templatesDir_ = templatesDir;
  imagesDir_ = imagesDir;
}

template <class Handler>
bool TTemplateTab::Guarded(Handler&& handler) {
  return RunGuarded(dialogs_.MessageBoxes, std::forward<Handler>(handler));
}

void TTemplateTab::ShowTemplate() {
  updating_ = true;
  {
    const QSignalBlocker b1(CBActiveImage), b2(ETemplateName), b3(CBTemplateType), b4(CBBorder), b5(CBViewmask),
        b6(CBAspectRatio);
    int index = -1;
    if (const std::optional<TLayer> choice = design_.ActiveImageChoice()) {
      for (size_t i = 0; i < kActiveChoices.size(); ++i)
        if (kActiveChoices[i].Layer == *choice) index = static_cast<int>(i);
    }
    CBActiveImage->setCurrentIndex(index);
    const QString name = QString::fromStdString(design_.TemplateName());
    if (ETemplateName->text() != name) ETemplateName->setText(name);
    const QString type = QString::fromStdString(design_.TemplateType());
    if (CBTemplateType->currentText() != type) CBTemplateType->setCurrentText(type);
    CBBorder->setChecked(design_.Border());
    CBViewmask->setChecked(design_.ViewMask());
    CBAspectRatio->setChecked(design_.KeepAspectRatio);
  }
  SETemplateWidth->SetValueQuietly(design_.TemplateWidth());
  SETemplateHeight->SetValueQuietly(design_.TemplateHeight());
  SETemplateMargin->SetValueQuietly(design_.BleedMargin());
  SEActiveAlpha->SetValueQuietly(design_.ActiveAlpha());
  updating_ = false;
}

// --- Active image ---

void TTemplateTab::CBActiveImageChange() {
  if (updating_) return;
  Guarded([this] {
    const int index = CBActiveImage->currentIndex();
    if (index < 0 || index >= static_cast<int>(kActiveChoices.size())) return;
    design_.ChooseActiveImage(kActiveChoices[static_cast<size_t>(index)].Layer);
    SEActiveAlpha->SetValueQuietly(design_.ActiveAlpha());
    emit activeImageChanged();
  });
}

void TTemplateTab::BLoadActiveImageClick() {
  Guarded([this] {
    design_.SetTemplateEditing(true);
    if (!design_.ActiveImageChoice() || !dialogs_.Files) return;
    TFileDialogRequest request;
    request.InitialDir = imagesDir_;
    request.Filters = kPictureFilters;
    const std::optional<std::string> path = dialogs_.Files->OpenFile(request);
    if (!path) return;
    try {
      design_.LoadActiveImage(*path);
      ShowPictureWarning(this, design_.PictureWarning());
    } catch (...) {
      ShowTemplate();
      throw;
    }
    ShowTemplate();
    emit designApplied();
  });
}

void TTemplateTab::SEActiveAlphaChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetActiveAlpha(SEActiveAlpha->IntValue());
    emit designModified();
  });
}

// --- Size, margin and the two switches ---

void TTemplateTab::SETemplateWidthChange() {
  if (updating_) return;
  Guarded([this] {
    design_.KeepAspectRatio = CBAspectRatio->isChecked();
    design_.SetTemplateWidth(SETemplateWidth->IntValue());
    SETemplateHeight->SetValueQuietly(design_.TemplateHeight());
  });
}

void TTemplateTab::SETemplateHeightChange() {
  if (updating_) return;
  Guarded([this] {
    design_.KeepAspectRatio = CBAspectRatio->isChecked();
    design_.SetTemplateHeight(SETemplateHeight->IntValue());
    SETemplateWidth->SetValueQuietly(design_.TemplateWidth());
  });
}

void TTemplateTab::SETemplateMarginChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetBleedMargin(static_cast<float>(SETemplateMargin->Value()));
    SETemplateMargin->SetValueQuietly(design_.BleedMargin());
    emit designModified();
  });
}

void TTemplateTab::CBAspectRatioClick() {
  if (updating_) return;
  design_.KeepAspectRatio = CBAspectRatio->isChecked();
}

void TTemplateTab::CBViewmaskClick() {
  if (updating_) return;
  Guarded([this] {
    design_.SetViewMask(CBViewmask->isChecked());
    emit designModified();
  });
}

void TTemplateTab::CBBorderClick() {
  if (updating_) return;
  Guarded([this] {
    design_.SetBorder(CBBorder->isChecked());
    emit designModified();
  });
}

void TTemplateTab::ETemplateNameChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetTemplateName(ETemplateName->text().toStdString());
    emit designModified();
  });
}

void TTemplateTab::CBTemplateTypeChange() {
  if (updating_) return;
  Guarded([this] {
    design_.SetTemplateType(CBTemplateType->currentText().toStdString());
    emit designModified();
  });
}

// --- Buttons ---

void TTemplateTab::BPreviewTemplateClick() {
  Guarded([this] {
    if (design_.TemplateWidth() < kMinMagnetSide || design_.TemplateHeight() < kMinMagnetSide)
      RaiseError("The magnet's width and height must be at least 1 mm");
    design_.PreviewTemplate();
    emit designApplied();
  });
}

void TTemplateTab::BClearTemplateClick() {
  Guarded([this] {
    if (ConfirmReplace && !ConfirmReplace()) return;
    design_.NewDesign();
    ShowTemplate();
    emit designApplied();
  });
}

void TTemplateTab::BLoadTemplateClick() {
  Guarded([this] {
    if (ConfirmReplace && !ConfirmReplace()) return;
    design_.SetTemplateEditing(true);
    if (!dialogs_.Files) return;
    TFileDialogRequest request;
    request.Title = "Load template design";
    request.InitialDir = templatesDir_;
    request.Filters = {kTemplateFilter};
    const std::optional<std::string> path = dialogs_.Files->OpenFile(request);
    if (!path) return;
    try {
      design_.OpenTemplate(*path, true);
    } catch (...) {
      ShowTemplate();
      throw;
    }
    ShowTemplate();
    emit designApplied();
  });
}

bool TTemplateTab::BSaveTemplateClick() {
  bool saved = false;
  Guarded([&] {
    if (!dialogs_.Files) return;
    TFileDialogRequest request;
    request.Title = "Save template design";
    request.InitialDir = templatesDir_;
    request.FileName = design_.TemplateFileName();
    request.Filters = {kTemplateFilter};
    request.DefaultExtension = "fmt";
    const std::optional<std::string> path = dialogs_.Files->SaveFile(request);
    if (!path) return;
    design_.SaveTemplate(*path);
    saved = true;
  });
  return saved;
}

}  // namespace sw
