#include "app/design_tab.h"

#include <QCheckBox>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

#include "app/handler_guard.h"
#include "app/tab_controls.h"
#include "base/numeric.h"
#include "magnet/design_undo.h"
#include "magnet/magnet_design.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "widgets/colour_picker.h"
#include "widgets/spin_edit.h"

namespace sw {

namespace {

// Pictures larger than this show progress while they load (a quick load shows nothing anyway).
constexpr qint64 kLargePictureBytes = 2 * 1024 * 1024;

const std::vector<TFileFilter>& PictureFilters() {
  static const std::vector<TFileFilter> filters = {
      {"All (*.jpg;*.gif,*.png)", {"jpg", "gif", "png"}},
      {"JPEG Image File (*.jpg)", {"jpg"}},
      {"GIF Image File (*.gif)", {"gif"}},
      {"PNG(*.png)", {"png"}},
  };
  return filters;
}

// The message box's text as the message layer keeps it (line breaks CR LF) and back.
std::u16string MemoToText(const QString& text) {
  QString t = text;
  t.replace("\r\n", "\n");
  t.replace('\n', "\r\n");
  return t.toStdU16String();
}

QString TextToMemo(const std::u16string& text) {
  QString t = QString::fromStdU16String(text);
  t.replace("\r\n", "\n");
  t.replace('\r', '\n');
  return t;
}

// The folder a chosen file is in.
std::string FolderOf(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
}

// Whether a folder holds a file matching one of the patterns (letter case aside).
bool HoldsFiles(const std::string& folder, const QStringList& patterns) {
  if (folder.empty()) return false;
  QDir dir(QString::fromStdString(folder));
  dir.setNameFilters(patterns);
  dir.setFilter(QDir::Files | QDir::Readable);
  return !dir.entryList().isEmpty();
}

// A whole-number spin value as the model's millimetres.
float Mm(const TAdvSpinEdit* spin) { return static_cast<float>(spin->IntValue()); }

// Sets a spin edit's value without its change handler running.
void Quiet(TAdvSpinEdit* spin, int32_t value) { spin->SetValueQuietly(value); }

}  // namespace

TAdvSpinEdit* TDesignTab::NewSpin(const char* name, const char* above, const char* below, QWidget* parent,
                                  QGridLayout* grid, int row, int column, double minimum, double maximum) {
  auto* spin = new TAdvSpinEdit(parent);
  spin->setObjectName(name);
  spin->SetValueType(svtInteger);
  spin->SetRange(minimum, maximum);
  spin->setFixedWidth(60);
  auto label = [parent](const char* text) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    l->setFont(f);
    return l;
  };
  grid->addWidget(label(above), row, column);
  grid->addWidget(spin, row + 1, column);
  grid->addWidget(label(below), row + 2, column);
  // An arrow held down is one undo step, however many values it passes.
  connect(spin, &TAdvSpinEdit::gestureStarted, this, [this] { undo_.BeginGesture(); });
  connect(spin, &TAdvSpinEdit::gestureEnded, this, [this] { undo_.EndGesture(); });
  return spin;
}

TDesignTab::TDesignTab(TMagnetDesign& design, TDesignUndo& undo, const TDialogServices& dialogs,
                       const TAppFolders& folders, QWidget* parent)
    : QWidget(parent), design_(design), undo_(undo), dialogs_(dialogs), folders_(folders) {
  setObjectName("TabSheet1");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(6);

  // Template and design files.
  auto* top = new QHBoxLayout;
  bSelectTemplate_ = new QPushButton("select template", this);
  bSelectTemplate_->setObjectName("BSelectTemplate");
  gbTemplate_ = new QGroupBox("current template", this);
  gbTemplate_->setObjectName("GBCurrentTemplate");
  lTemplateName_ = new QLabel(gbTemplate_);
  lTemplateName_->setObjectName("LTemplateName");
  QFont bold = lTemplateName_->font();
  bold.setBold(true);
  lTemplateName_->setFont(bold);
  (new QVBoxLayout(gbTemplate_))->addWidget(lTemplateName_);
  top->addWidget(bSelectTemplate_);
  top->addWidget(gbTemplate_, 1);
  layout->addLayout(top);
  auto* files = new QHBoxLayout;
  bLoadDesign_ = new QPushButton("load design", this);
  bLoadDesign_->setObjectName("BLoadDesign");
  bSaveDesign_ = new QPushButton("save design", this);
  bSaveDesign_->setObjectName("BSaveDesign");
  files->addWidget(bLoadDesign_);
  files->addWidget(bSaveDesign_);
  files->addStretch(1);
  layout->addLayout(files);

  // "your message"
  gbMessage_ = new QGroupBox("your message", this);
  gbMessage_->setObjectName("GBMessage");
  auto* message = new QVBoxLayout(gbMessage_);
  memo_ = new QPlainTextEdit(gbMessage_);
  memo_->setObjectName("Memo");
  memo_->setFixedHeight(56);
  memo_->installEventFilter(this);
  // Tab moves on to the next control; a magnet's message has no use for tab characters.
  memo_->setTabChangesFocus(true);
  memo_->setUndoRedoEnabled(false);
  message->addWidget(memo_);
  auto* fontRow = new QHBoxLayout;
  bFont_ = new QPushButton("font", gbMessage_);
  bFont_->setObjectName("BFont");
  eFont_ = new QLineEdit(gbMessage_);
  eFont_->setObjectName("EFont");
  eFont_->setReadOnly(true);
  eFontColour_ = new QLabel(gbMessage_);
  eFontColour_->setObjectName("EFontColour");
  eFontColour_->setFixedSize(21, 21);
  eFontColour_->setAutoFillBackground(true);
  fontRow->addWidget(bFont_);
  fontRow->addWidget(eFont_, 1);
  fontRow->addWidget(eFontColour_);
  message->addLayout(fontRow);
  auto* textGrid = new QGridLayout;
  textGrid->setVerticalSpacing(0);
  seTextHorizontal_ = NewSpin("SETextHorizontal", "move left", "move right", gbMessage_, textGrid, 0, 0, 0, 0);
  seTextVertical_ = NewSpin("SETextVertical", "move up", "move down", gbMessage_, textGrid, 0, 1, 0, 0);
  seTextRotate_ = NewSpin("SETextRotate", "rotate left", "rotate right", gbMessage_, textGrid, 0, 2, -359, 359);
  seTextWidth_ = NewSpin("SETextWidth", "dec width", "inc width", gbMessage_, textGrid, 0, 3, -359, 359);
  seTextHeight_ = NewSpin("SETextHeight", "dec height", "inc height", gbMessage_, textGrid, 0, 4, 0, 150);
  message->addLayout(textGrid);
  auto* textButtons = new QHBoxLayout;
  bTextReset_ = new QPushButton("reset", gbMessage_);
  bTextReset_->setObjectName("BTextReset");
  bFitText_ = new QPushButton("fit text", gbMessage_);
  bFitText_->setObjectName("BFitText");
  bFitText_->setToolTip("Shrinks the message's font until its box shows all of it");
  cbTextBG_ = new QCheckBox("see-through message box", gbMessage_);
  cbTextBG_->setObjectName("CBTextBG");
  textButtons->addWidget(bTextReset_);
  textButtons->addWidget(bFitText_);
  textButtons->addWidget(cbTextBG_);
  textButtons->addStretch(1);
  message->addLayout(textButtons);
  layout->addWidget(gbMessage_);

  // "background colour"
  gbColour_ = new QGroupBox("background colour", this);
  gbColour_->setObjectName("GBBackgroundColour");
  cpbBgColour_ = new TColorPickerButton(gbColour_);
  cpbBgColour_->setObjectName("CPBbgColour");
  auto* colourRow = new QHBoxLayout(gbColour_);
  colourRow->addWidget(cpbBgColour_);
  colourRow->addStretch(1);
  layout->addWidget(gbColour_);

  // "background image"
  gbImage_ = new QGroupBox("background image", this);
  gbImage_->setObjectName("GBBackgroundImage");
  auto* image = new QVBoxLayout(gbImage_);
  auto* imageButtons = new QHBoxLayout;
  bLoadImage_ = new QPushButton("load image", gbImage_);
  bLoadImage_->setObjectName("BLoadImage");
  bClearImage_ = new QPushButton("clear image", gbImage_);
  bClearImage_->setObjectName("BClearImage");
  bImageReset_ = new QPushButton("reset", gbImage_);
  bImageReset_->setObjectName("BImageReset");
  imageButtons->addWidget(bLoadImage_);
  imageButtons->addWidget(bClearImage_);
  imageButtons->addWidget(bImageReset_);
  imageButtons->addStretch(1);
  image->addLayout(imageButtons);
  auto* imageGrid = new QGridLayout;
  imageGrid->setVerticalSpacing(0);
  seImageHorizontal_ = NewSpin("SEImageHorizontal", "move left", "move right", gbImage_, imageGrid, 0, 0, 0, 0);
  seImageVertical_ = NewSpin("SEImageVertical", "move up", "move down", gbImage_, imageGrid, 0, 1, 0, 0);
  seImageZoom_ = NewSpin("SEImageZoom", "zoom out", "zoom in", gbImage_, imageGrid, 0, 2, 0, 0);
  seImageRotate_ = NewSpin("SEImageRotate", "rotate left", "rotate right", gbImage_, imageGrid, 0, 3, -359, 359);
  imageGrid->setColumnStretch(4, 1);
  image->addLayout(imageGrid);
  layout->addWidget(gbImage_);
  layout->addStretch(1);

  connect(bSelectTemplate_, &QPushButton::clicked, this, [this] { BSelectTemplateClick(); });
  connect(bLoadDesign_, &QPushButton::clicked, this, [this] { BLoadDesignClick(); });
  connect(bSaveDesign_, &QPushButton::clicked, this, [this] { BSaveDesignClick(); });
  connect(memo_, &QPlainTextEdit::textChanged, this, [this] { MemoChange(); });
  connect(bFont_, &QPushButton::clicked, this, [this] { BFontClick(); });
  connect(seTextHorizontal_, &TAdvSpinEdit::valueChanged, this, [this] { SETextHorizontalChange(); });
  connect(seTextVertical_, &TAdvSpinEdit::valueChanged, this, [this] { SETextVerticalChange(); });
  connect(seTextWidth_, &TAdvSpinEdit::valueChanged, this, [this] { SETextWidthChange(); });
  connect(seTextHeight_, &TAdvSpinEdit::valueChanged, this, [this] { SETextHeightChange(); });
  connect(seTextRotate_, &TAdvSpinEdit::valueChanged, this, [this] { SETextRotateChange(); });
  connect(bTextReset_, &QPushButton::clicked, this, [this] { BTextResetClick(); });
  connect(bFitText_, &QPushButton::clicked, this, [this] { BFitTextClick(); });
  connect(cbTextBG_, &QCheckBox::toggled, this, [this] { CBTextBGClick(); });
  connect(cpbBgColour_, &TColorPickerButton::colorChanged, this, [this] { CPBbgColourChange(); });
  connect(bLoadImage_, &QPushButton::clicked, this, [this] { BLoadImageClick(); });
  connect(bClearImage_, &QPushButton::clicked, this, [this] { BClearImageClick(); });
  connect(bImageReset_, &QPushButton::clicked, this, [this] { BImageResetClick(); });
  connect(seImageZoom_, &TAdvSpinEdit::valueChanged, this, [this] { SEImageZoomChange(); });
  connect(seImageRotate_, &TAdvSpinEdit::valueChanged, this, [this] { SEImageRotateChange(); });
  connect(seImageHorizontal_, &TAdvSpinEdit::valueChanged, this, [this] { SEImageHorizontalChnge(); });
  connect(seImageVertical_, &TAdvSpinEdit::valueChanged, this, [this] { SEImageVerticalChange(); });
  ShowFont();
}

bool TDesignTab::eventFilter(QObject* watched, QEvent* e) {
  if (watched == memo_) {
    if (e->type() == QEvent::FocusIn) MemoEnter();
    // Undo and redo in the message are the design's: the box's own history would take back
    // typing behind the design's back.
    if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(e);
      const bool undo = key->matches(QKeySequence::Undo);
      const bool redo = key->matches(QKeySequence::Redo);
      if (undo || redo) {
        // Left to the window's shortcut; a press that still arrives here asks for it directly.
        e->ignore();
        if (e->type() == QEvent::KeyPress) emit(undo ? undoRequested() : redoRequested());
        return true;
      }
    }
    if (e->type() == QEvent::KeyPress) MemoKeyPress();
  }
  return QWidget::eventFilter(watched, e);
}

bool TDesignTab::Guard(const std::function<void()>& handler) {
  return RunGuarded(dialogs_.MessageBoxes, handler);
}

void TDesignTab::Change(const std::function<void()>& change, const std::string& key) {
  if (updating_) return;
  if (Guard([&] { undo_.Step(change, key); })) emit designModified();
}

void TDesignTab::PictureChange(const std::function<void()>& change) {
  if (updating_) return;
  if (Guard([&] { undo_.PictureStep(change); })) emit designModified();
}

int32_t TDesignTab::FoldedRotation(TAdvSpinEdit* spin) {
  const int32_t value = FoldRotateSpin(spin->IntValue());
  if (value != spin->IntValue()) Quiet(spin, value);
  return value;
}

// --- Files ---

bool TDesignTab::OpenFile(bool designFile) {
  if (!dialogs_.Files) return false;
  if (design_.Document().Modified() && ConfirmReplace && !ConfirmReplace()) return false;
  design_.SetTemplateEditing(false);
  TFileDialogRequest request;
  if (designFile) {
    request.Title = "Load fridge magnet design";
    request.InitialDir = DesignDialogDir();
    request.Filters = {{"fridge magnet designs (*.fmd)", {"fmd"}}};
  } else {
    request.Title = "Load template design";
    request.InitialDir = folders_.TemplatesDir;
    request.Filters = {{"fridge magnet templates (*.fmt)", {"fmt"}}};
  }
  const std::optional<std::string> path = dialogs_.Files->OpenFile(request);
  if (!path) return false;
  if (designFile) lastDesignDir_ = FolderOf(*path);
  Open(*path, designFile);
  return true;
}

void TDesignTab::Open(const std::string& fileName, bool designFile) {
  // The window follows the design whether the load worked or left it empty.
  try {
    if (designFile) {
      design_.OpenDesign(fileName);
    } else {
      design_.OpenTemplate(fileName);
    }
  } catch (...) {
    designPath_.clear();
    undo_.Clear();
    emit designApplied();
    throw;
  }
  designPath_ = designFile ? fileName : std::string();
  undo_.Clear();
  emit designApplied();
}

void TDesignTab::OpenDesignOrTemplate(const std::string& fileName) {
  Guard([&] {
    const bool designFile = QFileInfo(QString::fromStdString(fileName)).suffix().toLower() == "fmd";
    design_.SetTemplateEditing(false);
    Open(fileName, designFile);
  });
}

void TDesignTab::BSelectTemplateClick() {
  Guard([this] { OpenFile(false); });
}

void TDesignTab::BLoadDesignClick() {
  Guard([this] { OpenFile(true); });
}

bool TDesignTab::BSaveDesignClick() {
  bool saved = false;
  Guard([&] {
    if (!dialogs_.Files) return;
    TFileDialogRequest request;
    request.Title = "Save fridge magnet design";
    request.InitialDir = lastDesignDir_.empty() ? folders_.DesignsDir : lastDesignDir_;
    request.FileName = design_.DesignFileName();
    request.Filters = {{"fridge magnet designs (*.fmd)", {"fmd"}}};
    request.DefaultExtension = "fmd";
    const std::optional<std::string> path = dialogs_.Files->SaveFile(request);
    if (!path) return;
    design_.SaveDesign(*path);
    designPath_ = *path;
    lastDesignDir_ = FolderOf(*path);
    saved = true;
  });
  return saved;
}

bool TDesignTab::SaveDesign() {
  if (designPath_.empty()) return BSaveDesignClick();
  return Guard([this] { design_.SaveDesign(designPath_); });
}

std::string TDesignTab::DesignDialogDir() const {
  if (!lastDesignDir_.empty()) return lastDesignDir_;
  if (HoldsFiles(folders_.DesignsDir, {"*.fmd"})) return folders_.DesignsDir;
  return QDir::homePath().toStdString();
}

std::string TDesignTab::PictureDialogDir() const {
  if (!lastPictureDir_.empty()) return lastPictureDir_;
  if (HoldsFiles(folders_.ImagesDir, {"*.jpg", "*.jpeg", "*.png", "*.gif"})) return folders_.ImagesDir;
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return pictures.toStdString();
  return QDir::homePath().toStdString();
}

// --- Message ---

void TDesignTab::MemoChange() {
  if (updating_) return;
  const std::u16string text = MemoToText(memo_->toPlainText());
  // A run of typing is one step.
  Change([&] { design_.SetMessageText(text); }, "Memo");
}

void TDesignTab::MemoEnter() {
  if (updating_ || !design_.DesignLoaded()) return;
  if (Guard([this] { undo_.Quietly([this] { design_.FlashTextBox(); }); })) emit flashStarted();
}

void TDesignTab::MemoKeyPress() { MemoEnter(); }

void TDesignTab::BFontClick() {
  Guard([this] {
    const TdtpMemoShape* text = design_.TextLayer();
    if (!text || !dialogs_.Font) return;
    // The dialog opens on the family the message is really drawn in: a stored name that is not
    // installed ("Arial") is not in its list.
    TFontChoice initial;
    initial.Name = design_.MessageFontFamily();
    initial.Points = design_.FontPoints();
    initial.Bold = (text->FontStyle() & fsBold) != 0;
    initial.Italic = (text->FontStyle() & fsItalic) != 0;
    initial.Colour = RgbOf(text->FontColor());
    const std::optional<TFontChoice> chosen = dialogs_.Font->ChooseFont(initial);
    // OK on what the dialog opened with changes nothing.
    if (!chosen || *chosen == initial) return;
    // The same family keeps the stored name, so a design moved to a machine that has it finds it.
    const std::string name = chosen->Name == initial.Name ? text->FontName() : chosen->Name;
    undo_.Step([&] {
      design_.SetMessageFont(name, chosen->Points, chosen->Bold, chosen->Italic, ColorOf(chosen->Colour));
    });
    ShowFont();
    emit designModified();
  });
}

void TDesignTab::ShowFont() {
  const TdtpMemoShape* text = design_.TextLayer();
  eFont_->setText(QString::fromStdString(design_.FontText()));
  // A font that is not installed says so: the message is drawn in another family.
  eFont_->setToolTip(FontHint());
  QPalette palette = eFontColour_->palette();
  palette.setColor(QPalette::Window, ColorToQColor(text ? text->FontColor() : kColourBlack));
  eFontColour_->setPalette(palette);
}

QString TDesignTab::FontHint() const {
  const TdtpMemoShape* text = design_.TextLayer();
  if (!text) return {};
  const QString stored = QString::fromStdString(text->FontName());
  const QString family = QString::fromStdString(design_.MessageFontFamily());
  if (family.compare(stored, Qt::CaseInsensitive) == 0) return {};
  return QString("The font \"%1\" is not installed: the message is drawn in %2.").arg(stored, family);
}

void TDesignTab::SETextHorizontalChange() {
  Change([this] { design_.MoveText(Mm(seTextHorizontal_), Mm(seTextVertical_)); });
}

void TDesignTab::SETextVerticalChange() { SETextHorizontalChange(); }

void TDesignTab::SETextWidthChange() {
  Change([this] { design_.SizeText(Mm(seTextWidth_), Mm(seTextHeight_)); });
}

void TDesignTab::SETextHeightChange() { SETextWidthChange(); }

void TDesignTab::SETextRotateChange() {
  if (updating_) return;
  updating_ = true;
  const int32_t value = FoldedRotation(seTextRotate_);
  updating_ = false;
  Change([&] {
    design_.RotateText(value);
    ShowTextPosition();
  });
}

void TDesignTab::ShowTextPosition() {
  if (const std::optional<TTextControls> c = design_.TextControls()) {
    Quiet(seTextHorizontal_, c->Left);
    Quiet(seTextVertical_, c->Top);
  }
}

void TDesignTab::ShowTextControls() {
  const std::optional<TTextControls> c = design_.TextControls();
  if (!c) return;
  Quiet(seTextHeight_, c->Height);
  Quiet(seTextWidth_, c->Width);
  Quiet(seTextVertical_, c->Top);
  Quiet(seTextHorizontal_, c->Left);
  Quiet(seTextRotate_, c->Rotate);
}

void TDesignTab::BTextResetClick() {
  Change([this] {
    design_.ResetText();
    ShowTextControls();
    const QSignalBlocker block(cbTextBG_);
    cbTextBG_->setChecked(design_.TextBoxSeeThrough());
  });
}

void TDesignTab::BFitTextClick() {
  Change([this] {
    design_.FitMessageText();
    ShowFont();
  });
}

void TDesignTab::CBTextBGClick() {
  const bool seeThrough = cbTextBG_->isChecked();
  Change([&] { design_.SetTextBoxSeeThrough(seeThrough); });
}

void TDesignTab::CPBbgColourChange() {
  const TdtpColor colour = cpbBgColour_->Color();
  Change([&] { design_.SetBackgroundColour(colour); });
}

// --- Picture ---

void TDesignTab::LoadUserPicture(const std::string& fileName) {
  PictureChange([&] {
    std::unique_ptr<IProgress> progress;
    if (dialogs_.Progress && QFileInfo(QString::fromStdString(fileName)).size() > kLargePictureBytes) {
      progress = dialogs_.Progress->Begin("Loading picture", 2);
    }
    design_.LoadUserPicture(fileName);
    ShowPictureWarning(this, design_.PictureWarning());
    if (progress) progress->SetPosition(1);
    // The picture is decoded by its first paint: the view draws it while the progress shows.
    if (IWindowHost* host = design_.Document().WindowHost()) host->ProcessPendingWork();
    if (progress) progress->SetPosition(2);
    ShowImageControls();
    ShowImageGroupState();
  });
}

void TDesignTab::BLoadImageClick() {
  Guard([this] {
    if (!dialogs_.Files || !design_.ActiveImage()) return;
    TFileDialogRequest request;
    request.Title = "Open";
    request.InitialDir = PictureDialogDir();
    request.Filters = PictureFilters();
    const std::optional<std::string> path = dialogs_.Files->OpenFile(request);
    if (!path) return;
    lastPictureDir_ = FolderOf(*path);
    LoadUserPicture(*path);
  });
}

void TDesignTab::BClearImageClick() {
  PictureChange([this] {
    design_.ClearUserPicture();
    ShowImageGroupState();
  });
}

void TDesignTab::BImageResetClick() {
  Change([this] {
    design_.ResetActiveImage();
    ShowImageControls();
    ShowImageGroupState();
  });
}

void TDesignTab::SEImageZoomChange() {
  Change([this] { design_.ZoomActiveImage(seImageZoom_->IntValue()); });
}

void TDesignTab::SEImageRotateChange() {
  if (updating_) return;
  updating_ = true;
  const int32_t value = FoldedRotation(seImageRotate_);
  updating_ = false;
  Change([&] {
    design_.RotateActiveImage(value);
    ShowImagePosition();
  });
}

void TDesignTab::SEImageHorizontalChnge() {
  Change([this] { design_.MoveActiveImage(Mm(seImageHorizontal_), Mm(seImageVertical_)); });
}

void TDesignTab::SEImageVerticalChange() { SEImageHorizontalChnge(); }

void TDesignTab::ShowImagePosition() {
  if (const std::optional<TImageControls> c = design_.ImageControls(design_.ActiveImageLayer())) {
    Quiet(seImageHorizontal_, c->Left);
    Quiet(seImageVertical_, c->Top);
  }
}

void TDesignTab::ShowImageControls() {
  const std::optional<TImageControls> c = design_.ImageControls(design_.ActiveImageLayer());
  if (!c) return;
  Quiet(seImageZoom_, c->Zoom);
  Quiet(seImageVertical_, c->Top);
  Quiet(seImageHorizontal_, c->Left);
  Quiet(seImageRotate_, c->Rotate);
}

void TDesignTab::ShowImageGroupState() {
  if (!design_.DesignLoaded()) return;
  const TdtpShape* picture = design_.Layer(TLayer::usrImage);
  const bool shown = picture && picture->Visible();
  for (QWidget* child : gbImage_->findChildren<QWidget*>()) child->setEnabled(shown);
  bLoadImage_->setEnabled(true);
  // A picture hidden by "clear image" can come back with "reset".
  if (!shown && picture) bImageReset_->setEnabled(true);
}

// --- All controls ---

void TDesignTab::ShowMessageText() {
  const QSignalBlocker block(memo_);
  const TdtpMemoShape* text = design_.TextLayer();
  const QString shown = text ? TextToMemo(text->Text()) : QString();
  if (memo_->toPlainText() != shown) {
    memo_->setPlainText(shown);
    memo_->moveCursor(QTextCursor::End);
  }
}

void TDesignTab::ShowTemplateName() { lTemplateName_->setText(QString::fromStdString(design_.TemplateName())); }

void TDesignTab::RefreshControls() {
  updating_ = true;
  ShowImageControls();
  ShowTextControls();
  {
    const QSignalBlocker block(cbTextBG_);
    cbTextBG_->setChecked(design_.TextBoxSeeThrough());
  }
  if (const TdtpPolygonShape* background = design_.RectLayer(TLayer::bgColour)) {
    cpbBgColour_->SetColorQuietly(background->FillColor());
  }
  ShowMessageText();
  ShowFont();
  ShowTemplateName();
  updating_ = false;
}

}  // namespace sw
