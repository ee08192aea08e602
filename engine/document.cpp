#include "engine/document.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "base/exception.h"
#include "base/stream.h"
#include "base/tick.h"
#include "engine/bracket_p.h"
#include "engine/handles.h"
#include "storage/resources/decoded_pictures.h"
#include "storage/resources/resource_thread.h"

namespace sw {

namespace {

constexpr uint32_t kTimerIntervalMs = 50;

}  // namespace

TdtpDocument::TdtpDocument(const TServices& services)
    : services_(services), defaultBackground_(std::make_unique<TdtpBitmapResource>()) {
  defaultBackground_->SetContainer(this);
  defaultBackground_->OnPictureChanged = [this](TdtpResource*) {
    DocumentChanged();
    StaleDefaultThumbnails();
    InvalidateWindow();
  };
  if (services_.Timers) {
    timer_ = services_.Timers->CreateTimer();
    if (timer_) {
      timer_->OnTimer = [this] { TimerTick(); };
      timer_->Start(kTimerIntervalMs);
    }
  }
  BuildDocumentMenu();
  SetDefaults();
  DisableUndo();
  Bracket([] {}, [this] { EnableUndo(); }, [this] { AddPage(nullptr); });
  SetModified(false);
}

TdtpDocument::~TdtpDocument() {
  if (timer_) timer_->Stop();
  timer_.reset();
  interaction_.HintTimer.reset();
  interaction_.HotzoneTimer.reset();
  undo_.Clear();
  pages_.clear();
  defaultBackground_->OnPictureChanged = nullptr;
  defaultBackground_.reset();
}

std::string TdtpDocument::ResourceFolder() {
  if (fileName_.empty()) return {};
  return std::filesystem::path(fileName_).parent_path().string();
}

// --- Pages ---

TdtpPage* TdtpDocument::Pages(int index) const {
  if (index < 0 || index >= PageCount()) return nullptr;
  return pages_[static_cast<size_t>(index)].get();
}

int TdtpDocument::PageIndexOf(const TdtpPage* page) const {
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (pages_[i].get() == page) return static_cast<int>(i);
  }
  return -1;
}

void TdtpDocument::SetPageCount(int value) {
  if (value < 0 || value > kMaxPageCount) RaiseError("Invalid page count");
  while (PageCount() < value) {
    if (AddPage(nullptr) < 0) break;
  }
  while (PageCount() > value) DeletePage(PageCount() - 1);
}

int TdtpDocument::AddPage(TdtpPage* page) {
  std::unique_ptr<TdtpPage> fresh;
  if (!page) {
    fresh = std::make_unique<TdtpPage>();
    fresh->SetWidth(defaultPageWidth_);
    fresh->SetHeight(defaultPageHeight_);
    page = fresh.get();
  }
  if (PageCount() >= kMaxPageCount || page->Parent() || page->Document() || PageIndexOf(page) >= 0) {
    return -1;
  }
  fresh.release();
  pages_.emplace_back(page);
  page->SetDocument(this);
  if (!CurrentPage()) {
    // After the last page went, the index may still name the slot the new page now fills.
    currentPageIndex_ = -1;
    SetCurrentPage(page);
  }
  ShapeChanged(page);
  PageChanged(page);
  return PageIndexOf(page);
}

int TdtpDocument::AddPage(std::unique_ptr<TdtpPage> page) {
  if (!page) return AddPage(static_cast<TdtpPage*>(nullptr));
  const int index = AddPage(page.get());
  if (index >= 0) page.release();
  return index;
}

void TdtpDocument::RemovePage(int index) {
  TdtpPage* page = Pages(index);
  DisableUndo();
  // Nothing can undo into a page that is gone, so its shapes leave without records.
  Bracket([] {}, [this] { EnableUndo(); }, [page] { page->DeleteAllChildren(); });
  ShapeDestroyed(page);
  page->OnBoundsChanged = nullptr;
  page->SetDocument(nullptr);
  const int at = PageIndexOf(page);
  if (at >= 0) pages_.erase(pages_.begin() + at);
}

void TdtpDocument::DeletePage(int index) {
  if (!Pages(index)) return;
  TResourceLock lock;
  const int count = PageCount();
  storage_.DeleteStream(Format("Page%.4d.xml", index + 1));
  storage_.DeleteStream(Format("Thumb%.4d.bmp", index + 1));
  for (int n = index + 2; n <= count; ++n) {
    storage_.RenameStream(Format("Page%.4d.xml", n), Format("Page%.4d.xml", n - 1));
    storage_.RenameStream(Format("Thumb%.4d.bmp", n), Format("Thumb%.4d.bmp", n - 1));
  }
  const bool wasCurrent = index == currentPageIndex_;
  RemovePage(index);
  SetModified(true);
  for (int i = index; i < PageCount(); ++i) PageChanged(Pages(i));
  int next = currentPageIndex_;
  if (index < currentPageIndex_ || currentPageIndex_ >= PageCount()) next = std::max(0, currentPageIndex_ - 1);
  if (wasCurrent) {
    // The current page is gone: bind whichever page now holds the index.
    currentPageIndex_ = -1;
    SetCurrentPageIndex(next);
  } else {
    currentPageIndex_ = next;
  }
  InvalidateWindow();
}

void TdtpDocument::SetCurrentPageIndex(int value) {
  if (TdtpPage* target = Pages(value); target && !target->Loaded()) LoadPage(value);
  if (TdtpPage* page = CurrentPage()) PageChanged(page);
  if (value == currentPageIndex_) return;
  if (TdtpPage* old = CurrentPage()) {
    if (Performance == dpMemoryOverSpeed) old->FreeCaches();
    old->OnBoundsChanged = nullptr;
  }
  currentPageIndex_ = value;
  if (TdtpPage* page = CurrentPage()) page->OnBoundsChanged = [this](TdtpShape*) { UpdateScrollRange(); };
  UpdateScrollRange();
  InvalidateWindow();
  SetFocusedShape(nullptr);
  if (TdtpPage* page = CurrentPage()) PageChanged(page);
}

float TdtpDocument::PageWidth() const {
  const TdtpPage* page = CurrentPage();
  return page ? page->DocWidth() : 0;
}

float TdtpDocument::PageHeight() const {
  const TdtpPage* page = CurrentPage();
  return page ? page->DocHeight() : 0;
}

void TdtpDocument::SetPageWidth(float value) {
  if (TdtpPage* page = CurrentPage()) page->SetWidth(value);
}

void TdtpDocument::SetPageHeight(float value) {
  if (TdtpPage* page = CurrentPage()) page->SetHeight(value);
}

// --- Defaults ---

void TdtpDocument::SetDefaultPageWidth(float value) {
  if (!std::isfinite(value) || value == defaultPageWidth_) return;
  defaultPageWidth_ = value;
  for (const auto& page : pages_) {
    // An unread page is read first, so that its stream is rewritten with its content.
    page->EnsureLoaded();
    if (page->IsDefaultPage()) page->SetWidth(value);
  }
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::SetDefaultPageHeight(float value) {
  if (!std::isfinite(value) || value == defaultPageHeight_) return;
  defaultPageHeight_ = value;
  for (const auto& page : pages_) {
    page->EnsureLoaded();
    if (page->IsDefaultPage()) page->SetHeight(value);
  }
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::SetDefaultMargin(int index, float value) {
  float& field = defaultMargins_[static_cast<size_t>(index)];
  if (!std::isfinite(value) || value == field) return;
  field = value;
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::SetDefaultGridSize(float value) {
  if (!std::isfinite(value)) value = 0;
  if (value == defaultGridSize_) return;
  defaultGridSize_ = value;
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::SetDefaultGridColor(TdtpColor value) {
  if (value == defaultGridColor_) return;
  defaultGridColor_ = value;
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::SetShowMargins(bool value) {
  if (value == showMargins_) return;
  showMargins_ = value;
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::SetDefaultPageColor(TdtpColor value) {
  if (value == defaultPageColor_) return;
  defaultPageColor_ = value;
  StaleDefaultThumbnails();
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::SetDefaultBackgroundTiled(bool value) {
  if (value == defaultBackgroundTiled_) return;
  defaultBackgroundTiled_ = value;
  StaleDefaultThumbnails();
  DocumentChanged();
  InvalidateWindow();
}

void TdtpDocument::StaleDefaultThumbnails() {
  // An unread page counts as following the defaults until read; a stale flag changes no data.
  for (const auto& page : pages_) {
    if (page->IsDefaultPage()) page->SetThumbnailStale(true);
  }
}

// --- Shapes of the current page ---

int TdtpDocument::ShapeCount() const {
  const TdtpPage* page = CurrentPage();
  return page ? page->ChildCount() : 0;
}

TdtpShape* TdtpDocument::Shapes(int index) const {
  const TdtpPage* page = CurrentPage();
  return page ? page->Child(index) : nullptr;
}

int TdtpDocument::AddShape(TdtpShape* shape) {
  TdtpPage* page = CurrentPage();
  if (!page) return -1;
  const int index = page->AddChild(shape);
  if (index >= 0 && OnShapeListChanged) OnShapeListChanged(this);
  return index;
}

int TdtpDocument::AddShape(std::unique_ptr<TdtpShape> shape) {
  const int index = AddShape(shape.get());
  if (index >= 0) shape.release();
  return index;
}

void TdtpDocument::DeleteShape(int index) {
  TdtpPage* page = CurrentPage();
  if (!page || !page->Child(index)) return;
  page->DeleteChild(index);
  if (OnShapeListChanged) OnShapeListChanged(this);
}

int TdtpDocument::DeleteShapeObject(TdtpShape* shape) {
  TdtpPage* page = CurrentPage();
  if (!page) return -1;
  const int index = page->DeleteChildObject(shape);
  if (OnShapeListChanged) OnShapeListChanged(this);
  return index;
}

// --- Selection ---

int TdtpDocument::SelectedCount() const {
  int n = 0;
  for (int i = 0; i < ShapeCount(); ++i) n += Shapes(i)->Selected() ? 1 : 0;
  return n;
}

TdtpShape* TdtpDocument::SelectedShape(int n) const {
  for (int i = 0; i < ShapeCount(); ++i) {
    TdtpShape* s = Shapes(i);
    if (s->Selected() && n-- == 0) return s;
  }
  return nullptr;
}

void TdtpDocument::ClearSelection() {
  Bracket([this] { BeginUpdate(); }, [this] { EndUpdate(); }, [this] {
    for (int i = 0; i < ShapeCount(); ++i) Shapes(i)->SetSelected(false);
  });
}

void TdtpDocument::ToggleSelection(TdtpShape* shape) {
  if (!shape) return;
  shape->SetSelected(!shape->Selected());
  if (shape->Selected()) SetFocusedShape(shape);
}

void TdtpDocument::DeleteSelection() {
  CheckNotBusy();
  Bracket([this] { BeginUpdate(); }, [this] { EndUpdate(); }, [this] {
    for (int i = ShapeCount() - 1; i >= 0; --i) {
      TdtpShape* s = Shapes(i);
      if (s && s->Selected() && s->AllowDelete) DeleteShape(i);
    }
  });
}

TdtpShape* TdtpDocument::FocusedShape() const {
  const TdtpPage* page = CurrentPage();
  if (!focusedShape_ || !page || page->IndexOfChild(focusedShape_) < 0) return nullptr;
  return focusedShape_;
}

void TdtpDocument::SetFocusedShape(TdtpShape* shape) {
  if (shape == focusedShape_) return;
  focusedShape_ = shape;
  FocusChanged(shape);
}

// --- Batching and counters ---

void TdtpDocument::BeginUpdate() { ++updateCount_; }

void TdtpDocument::EndUpdate() {
  if (updateCount_ <= 0) RaiseError("EndUpdate called more often than BeginUpdate");
  if (--updateCount_ > 0) return;
  if (pendingShapeChange_) ShapeChanged(nullptr);
  if (pendingSelectionChange_) SelectionChanged();
  if (pendingFocusChange_) FocusChanged(FocusedShape());
}

void TdtpDocument::BeginBusy(TCursor cursor) {
  SetCursorShape(cursor);
  ++busyCount_;
}

void TdtpDocument::EndBusy() {
  if (busyCount_ <= 0) RaiseError("EndBusy called more often than BeginBusy");
  if (--busyCount_ == 0 && host_) host_->SetCursor(Cursor);
}

void TdtpDocument::EndPrinting() {
  if (printingCount_ <= 0) RaiseError("EndPrinting called more often than BeginPrinting");
  if (--printingCount_ == 0 && decodedPictures_) decodedPictures_->Clear();
}

void TdtpDocument::EndLoading() {
  if (loadingCount_ <= 0) RaiseError("EndLoading called more often than BeginLoading");
  --loadingCount_;
}

void TdtpDocument::SetCursorShape(TCursor cursor) {
  if (!host_) return;
  if (IsBusy() && Cursor != crDefault && !(Cursor == crAppStart && cursor == crHourGlass)) return;
  host_->SetCursor(cursor);
}

void TdtpDocument::CheckNotBusy() const {
  if (IsBusy()) RaiseError("Threading error (working already)");
}

// --- Notifications ---

void TdtpDocument::DocumentChanged() {
  SetModified(true);
  if (OnDocumentChanged) OnDocumentChanged(this);
}

void TdtpDocument::PageChanged(TdtpPage* page) {
  if (OnPageChanged) OnPageChanged(this, page);
}

void TdtpDocument::ShapeChanged(TdtpShape* shape) {
  SetModified(true);
  if (updateCount_ > 0) {
    pendingShapeChange_ = true;
    return;
  }
  pendingShapeChange_ = false;
  if (OnShapeChanged) OnShapeChanged(this, shape);
}

void TdtpDocument::SelectionChanged() {
  if (updateCount_ > 0) {
    pendingSelectionChange_ = true;
    return;
  }
  pendingSelectionChange_ = false;
  if (OnSelectionChanged) OnSelectionChanged(this);
}

void TdtpDocument::FocusChanged(TdtpShape* shape) {
  if (updateCount_ > 0) {
    pendingFocusChange_ = true;
    return;
  }
  pendingFocusChange_ = false;
  if (OnFocusShape) OnFocusShape(this, shape);
}

void TdtpDocument::ShapeDestroyed(TdtpShape* shape) {
  if (!shape) return;
  // A reference into the leaving subtree would dangle once the shape is freed.
  if (focusedShape_ && focusedShape_->IsInside(shape)) SetFocusedShape(nullptr);
  ForgetInteractionShape(shape);
  if (lastCopyPage_ && lastCopyPage_->IsInside(shape)) lastCopyPage_ = nullptr;
  if (OnShapeDestroy) OnShapeDestroy(this, shape);
}

void TdtpDocument::ReportLoadError(TdtpShape* shape, const std::string& text) {
  if (OnLoadError) OnLoadError(this, shape, text);
}

void TdtpDocument::Progress(TdtpProgressType type, int32_t count, float fraction, int32_t total) {
  progressCount_ = count;
  progressTotal_ = total;
  if (OnProgress) OnProgress(this, type, count, total, fraction);
}

// --- Whole document ---

void TdtpDocument::ResetSharedDefaults() {
  HandleColor = 0xFFFFFF;
  HandleEdgeColor = 0;
  HotzoneScrolling = hzsNoScroll;
  modified_ = true;
  Quality = 2;
  renderDpm_ = kDefaultDpm;
  screenDpm_ = kDefaultDpm;
  ThumbnailHeight = 60;
  ThumbnailWidth = 80;
  ViewStyle = vsPrintLayout;
  StepAngle = 0;
  StoreThumbnails = true;
  showMargins_ = true;
  defaultMargins_ = {10, 10, 10, 10};
  defaultPageColor_ = 0xFFFFFF;
  defaultPageHeight_ = 297;
  defaultPageWidth_ = 210;
  defaultGridColor_ = 0xFFFFC0;
  defaultGridSize_ = 5;
}

void TdtpDocument::SetDefaults() {
  ResetSharedDefaults();
  AllowKeyInput = true;
  ArchiveDirect = false;
  AutoPageUpdate = false;
  AutoWidth = true;
  currentPageIndex_ = -1;
  HintHidePause = 2500;
  HintShortPause = 50;
  HintPause = 500;
  HitSensivity = 1.0f;
  mode_ = vmEdit;
  MultiSelectMethod = msmSimple;
  PageUpdateInterval = 2000;
  PrintQuality = pqLow;
  RenderAtScreenRes = false;
  undo_.SetEnabled(true);
  useClipboard_ = true;
  ZoomPercent = 100;
  HandlePainter = hpW2K3Handle;
  HelperMethod = hmNone;
  BuildProbes();
}

void TdtpDocument::Clear() {
  DisableUndo();
  // The log is cleared below, so the removals need no records.
  Bracket([] {}, [this] { EnableUndo(); }, [this] {
    for (const auto& page : pages_) {
      page->DeleteAllChildren();
      ShapeDestroyed(page.get());
    }
  });
  if (TdtpPage* page = CurrentPage()) page->OnBoundsChanged = nullptr;
  for (const auto& page : pages_) page->SetDocument(nullptr);
  pages_.clear();
  currentPageIndex_ = -1;
  ClearUndo();
  storage_.Clear();
  defaultBackground_->Clear();
  ResetSharedDefaults();
}

void TdtpDocument::LoadFromFile(const std::string& fileName) {
  CheckNotBusy();
  if (!FileExists(fileName)) RaiseError(Format("Cannot find file \"%s\"", fileName.c_str()));
  Bracket([this] { BeginBusy(crHourGlass); }, [this] { EndBusy(); }, [&] {
    TResourceLock lock;
    Clear();
    fileName_ = ExpandFileName(fileName);
    // Read-only even with ArchiveDirect: a direct-mode file would take every change at once
    // (deleted pages, pictures the cache writes back, half a failed save), while the user's file
    // must change only by a whole save.
    storage_.Open(fileName);
    LoadFromArchive();
  });
}

void TdtpDocument::LoadFromStream(TStream& stream) {
  CheckNotBusy();
  Bracket([this] { BeginBusy(crHourGlass); }, [this] { EndBusy(); }, [&] {
    TResourceLock lock;
    Clear();
    fileName_.clear();
    storage_.LoadFromStream(stream);
    LoadFromArchive();
  });
}

void TdtpDocument::SaveToFile(const std::string& fileName) {
  CheckNotBusy();
  Bracket([this] { BeginBusy(crHourGlass); }, [this] { EndBusy(); }, [&] {
    TResourceLock lock;
    SaveToArchive();
    storage_.SaveToFile(fileName);
    fileName_ = ExpandFileName(fileName);
    MarkSaved();
  });
}

void TdtpDocument::SaveToStream(TStream& stream) {
  CheckNotBusy();
  Bracket([this] { BeginBusy(crHourGlass); }, [this] { EndBusy(); }, [&] {
    TResourceLock lock;
    SaveToArchive();
    storage_.SaveToStream(stream);
    MarkSaved();
  });
}

void TdtpDocument::MarkSaved() {
  SetModified(false);
  if (!UndoPastSave) ClearUndo();
}

// --- Hooks ---

void TdtpDocument::InvalidateShape(TdtpShape* shape) {
  if (!host_ || !shape || IsLoading()) return;
  TRect r;
  shape->ScreenBoundsWithHandles(r);
  host_->Invalidate(r);
}

void TdtpDocument::InvalidateWindow() {
  if (host_) host_->InvalidateAll();
}

void TdtpDocument::BuildProbes() {
  probes_.clear();
  probes_.push_back({0, 0});
  for (int32_t b = 4; b >= 1; --b) {
    probes_.push_back({b, 0});
    probes_.push_back({-b, 0});
    probes_.push_back({0, b});
    probes_.push_back({0, -b});
  }
  const int32_t d = Round(4 * 0.71);
  probes_.push_back({d, d});
  probes_.push_back({-d, d});
  probes_.push_back({d, -d});
  probes_.push_back({-d, -d});
}

TPoint TdtpDocument::Probe(int index) const {
  if (index < 0 || index >= ProbeCount()) return {};
  return probes_[static_cast<size_t>(index)];
}

// --- Timer ---

void TdtpDocument::TimerTick() {
  // A load, a save or a print may pump events; the tick waits for them to finish.
  if (inTimerTick_ || IsBusy() || IsLoading() || IsPrinting()) return;
  inTimerTick_ = true;
  Bracket([] {}, [this] { inTimerTick_ = false; }, [this] {
    if (AutoPageUpdate && CurrentPage()) {
      const uint64_t now = TickCount();
      if (!MouseIdle()) lastModificationTick_ = now;
      const uint64_t elapsed = now >= lastModificationTick_ ? now - lastModificationTick_ : lastModificationTick_ - now;
      if (elapsed >= static_cast<uint64_t>(std::max<int32_t>(0, PageUpdateInterval))) {
        // One stale thumbnail per tick keeps every tick short.
        for (int i = 0; i < PageCount(); ++i) {
          if (Pages(i)->ThumbnailStale()) {
            Pages(i)->UpdateThumbnail();
            break;
          }
        }
      }
    }
    if (OnAnimate) OnAnimate(this);
    for (int i = 0; i < ShapeCount(); ++i) Shapes(i)->Animate();
  });
}

// --- Properties ---

void TdtpDocument::SetModified(bool value) {
  lastModificationTick_ = TickCount();
  if (value == modified_) return;
  modified_ = value;
  if (!value) {
    for (const auto& page : pages_) page->SetChanged(false);
  }
}

void TdtpDocument::SetMode(TdtpViewerModeType value) {
  if (value == mode_) return;
  ClearSelection();
  SetMouseState(msIdle);
  if (!(value == vmEdit && readOnly_)) mode_ = value;
}

void TdtpDocument::SetReadOnly(bool value) {
  if (value == readOnly_) return;
  readOnly_ = value;
  if (value) {
    ClearSelection();
    SetMouseState(msIdle);
    if (mode_ == vmEdit) mode_ = vmBrowse;
  }
}

}  // namespace sw
