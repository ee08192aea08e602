// TdtpDocument: the model the application drives: an ordered list of pages (each a tree of
// shapes), the current page, defaults for pages that follow them, the selection and the focused
// shape, shape identities, batched change notification, the undo, busy and printing counters, the
// background timer, and loading and saving through the document's storage.
//
// The document is a plain object. It shows itself through an IWindowHost when one is set (the view
// fills the hooks marked "view" below) and takes its timer from the services it is given; without
// either it still works as a model.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/numeric.h"
#include "engine/command.h"
#include "engine/interaction_state.h"
#include "engine/page.h"
#include "engine/scroll_box.h"
#include "engine/shape.h"
#include "engine/undo_log.h"
#include "platform/ruler.h"
#include "platform/services.h"
#include "platform/timer.h"
#include "platform/window_host.h"
#include "storage/container/storage.h"
#include "storage/resources/bitmap_resource.h"

namespace sw {

class TStream;
class TXmlNode;

enum TdtpViewerModeType : uint8_t { vmBrowse = 0, vmEdit = 1, vmTextSelect = 2, vmZoom = 3, vmSlideshow = 4 };
enum TdtpProgressType : uint8_t { ptLoad = 0, ptSave = 1, ptPrint = 2, ptWizard = 3 };
enum TdtpDocPerformanceType : uint8_t { dpMemoryOverSpeed = 0, dpSpeedOverMemory = 1 };
// Scrolling when the mouse rests near the window's edges: never, always, or only while a drag
// outline is shown.
enum TdtpHotzoneScrollingType : uint8_t { hzsNoScroll = 0, hzsAlways = 1, hzsWhenMouseDown = 2 };
// msmCtrl: a band needs Ctrl and a click on empty space clears the selection at once; msmSimple: a
// press on empty space starts a band.
enum TdtpMultiSelectMethod : uint8_t { msmCtrl = 0, msmSimple = 1 };
// The resolution pages are printed at: 150, 300 or 600 dots per inch, or the printer's own.
enum TPrintQualityType : uint8_t { pqLow = 0, pqMedium = 1, pqHigh = 2, pqDevice = 3 };
using TdtpPrintQuality = TPrintQualityType;
enum TdtpHandlePainterType : uint8_t { hpStippleHandle = 0, hpW2K3Handle = 1, hpCustomHandle = 2 };

// 150 dots per inch in pixels per millimetre.
constexpr double kDefaultDpm = DpmOfDpi(150.0);
// The application-start cursor (an arrow with a small hourglass).
constexpr TCursor crAppStart = -19;
// The engine's own cursors: turning, moving a copy, and the insert crosses shape kinds name.
constexpr TCursor crRotation = -30;
constexpr TCursor crSizeCopy = -31;
constexpr TCursor crDtpCross = -32;
constexpr TCursor crDtpCrossLine = -33;
constexpr TCursor crDtpCrossArrow = -34;
constexpr TCursor crDtpCrossRectangle = -35;
constexpr TCursor crDtpCrossEllipse = -36;
constexpr TCursor crDtpCrossText = -37;
constexpr TCursor crDtpCrossImage = -38;
// The colour of the shape hint window ($E0FFFF, a pale yellow).
constexpr TdtpColor kHintColor = 0xE0FFFF;
// The application-workspace system colour, the window around the page.
constexpr TdtpColor clAppWorkSpace = -16777204;  // 0xFF00000C
// Most pages a document may hold.
constexpr int kMaxPageCount = 25;

class TdtpDocument;

// What one print job asks for, passed to the printing rather than set on the document: how finely
// it renders and who hears how far it got.
struct TPrintJob {
  TPrintQualityType Quality = pqLow;
  // The job's share done, 0 .. 1, after every band and page; it may raise to abandon the job.
  // Without it the document's OnProgress hears of the job.
  std::function<void(float share)> Progress;
};

// Dots per millimetre a print quality renders at; 0 for pqDevice, meaning the printer's own.
float PrintQualityDpm(TPrintQualityType quality);
// The quality that renders as finely as a printer of dpi dots per inch does, up to high.
TPrintQualityType PrintQualityForDpi(int32_t dpi);
using TdtpNotifyEvent = std::function<void(TdtpDocument* sender)>;
using TdtpPageEvent = std::function<void(TdtpDocument* sender, TdtpPage* page)>;
using TdtpShapeNotifyEvent = std::function<void(TdtpDocument* sender, TdtpShape* shape)>;
using TdtpLoadErrorEvent =
    std::function<void(TdtpDocument* sender, TdtpShape* shape, const std::string& error)>;
using TdtpProgressEvent = std::function<void(TdtpDocument* sender, TdtpProgressType type,
                                             int32_t count, int32_t total, float percent)>;
using TdtpXmlInfoEvent = std::function<void(TdtpDocument* sender, TXmlNode* node)>;
using TdtpShapeXmlInfoEvent =
    std::function<void(TdtpDocument* sender, TdtpShape* shape, TXmlNode* node)>;
using TdtpLocateFilenameEvent = std::function<void(TdtpDocument* sender, std::string& name)>;
using TdtpCanvasEvent = std::function<void(TdtpDocument* sender, TCanvas& canvas, const TRect& pageRect)>;
// Supplies the handle painter of a shape under hpCustomHandle; leaving it null gives the stipple style.
using TdtpHandlePainterEvent = std::function<void(TdtpDocument* sender, TdtpShape* shape,
                                                  std::unique_ptr<TdtpHandlePainter>& painter)>;
// Button and shift state as the window reported them (Alt never included); x, y in window pixels.
using TdtpMouseEvent =
    std::function<void(TdtpDocument* sender, TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
using TdtpQualityIndicatorEvent =
    std::function<void(TdtpDocument* sender, TCanvas& canvas, TRect& rect, int32_t quality, bool& drawn)>;

class TdtpDocument : public IResourceContainer, public TVirtScrollBox, public IWindowClient {
public:
  // One default page (DefaultPageWidth x DefaultPageHeight), current page 0, Modified false. The
  // 50 ms timer comes from services.Timers (none: no background refresh or animation).
  explicit TdtpDocument(const TServices& services = TServices{});
  // Frees the timer, the undo log, the pages with their shapes and the default background.
  ~TdtpDocument() override;
  TdtpDocument(const TdtpDocument&) = delete;
  TdtpDocument& operator=(const TdtpDocument&) = delete;

  // The window the document shows itself in; null (the default) paints and scrolls nothing.
  // Attaching a window counts as its first resize (the page is fitted to it).
  void SetWindowHost(IWindowHost* host);
  IWindowHost* WindowHost() const { return host_; }

  // --- IResourceContainer ---
  TsdStorage* ResourceStorage() override { return &storage_; }
  // The folder of the file last loaded or saved; empty when there is none.
  std::string ResourceFolder() override;
  TDecodedPictures* DecodedPictures() override { return IsPrinting() ? decodedPictures_ : nullptr; }
  // The pool through which the document's resources that share bytes decode them once while it
  // prints, emptied when the printing ends; null (the default): each decodes its own. The pool
  // outlives the document's pages.
  void SetDecodedPictures(TDecodedPictures* pictures) { decodedPictures_ = pictures; }

  TsdStorage& Storage() { return storage_; }
  // The services the document was created with (any of them may be null).
  const TServices& Services() const { return services_; }
  TdtpBitmapResource& DefaultBackground() { return *defaultBackground_; }

  // --- Pages ---
  int PageCount() const { return static_cast<int>(pages_.size()); }
  // Adds default pages or deletes from the end; outside 0..25 raises "Invalid page count".
  void SetPageCount(int value);
  // The page at index; null outside the range.
  TdtpPage* Pages(int index) const;
  int PageIndexOf(const TdtpPage* page) const;
  int CurrentPageIndex() const { return currentPageIndex_; }
  // Any value is accepted; an index without page leaves no current page.
  void SetCurrentPageIndex(int value);
  TdtpPage* CurrentPage() const { return Pages(currentPageIndex_); }
  void SetCurrentPage(TdtpPage* page) { SetCurrentPageIndex(PageIndexOf(page)); }
  // Appends a page (null: a new default-size page) taking ownership; returns its index, or -1
  // (ownership stays with the caller) for a page that belongs to a document or a parent already,
  // or when the document is full.
  int AddPage(TdtpPage* page = nullptr);
  int AddPage(std::unique_ptr<TdtpPage> page);
  // Deletes the page and renames the later pages' archive streams; nothing outside the range.
  void DeletePage(int index);
  // Reads a page that so far exists only in the archive; nothing for a page read already or an
  // index out of range. A page that fails to read stays unread, so a save keeps its stream.
  virtual void LoadPage(int index);

  float PageWidth() const;
  float PageHeight() const;
  void SetPageWidth(float value);
  void SetPageHeight(float value);

  // --- Defaults for pages that follow them ---
  float DefaultPageWidth() const { return defaultPageWidth_; }
  float DefaultPageHeight() const { return defaultPageHeight_; }
  void SetDefaultPageWidth(float value);
  void SetDefaultPageHeight(float value);
  float DefaultMarginLeft() const { return defaultMargins_[0]; }
  float DefaultMarginTop() const { return defaultMargins_[1]; }
  float DefaultMarginRight() const { return defaultMargins_[2]; }
  float DefaultMarginBottom() const { return defaultMargins_[3]; }
  void SetDefaultMarginLeft(float value) { SetDefaultMargin(0, value); }
  void SetDefaultMarginTop(float value) { SetDefaultMargin(1, value); }
  void SetDefaultMarginRight(float value) { SetDefaultMargin(2, value); }
  void SetDefaultMarginBottom(float value) { SetDefaultMargin(3, value); }
  float DefaultGridSize() const { return defaultGridSize_; }
  void SetDefaultGridSize(float value);
  TdtpColor DefaultGridColor() const { return defaultGridColor_; }
  void SetDefaultGridColor(TdtpColor value);
  TdtpColor DefaultPageColor() const { return defaultPageColor_; }
  void SetDefaultPageColor(TdtpColor value);
  bool DefaultBackgroundTiled() const { return defaultBackgroundTiled_; }
  void SetDefaultBackgroundTiled(bool value);
  bool ShowMargins() const { return showMargins_; }
  void SetShowMargins(bool value);

  // --- Shapes of the current page (nothing, 0, -1 or null without current page) ---
  int ShapeCount() const;
  TdtpShape* Shapes(int index) const;
  // Appends as the topmost child; -1 (ownership stays with the caller) when refused.
  int AddShape(TdtpShape* shape);
  int AddShape(std::unique_ptr<TdtpShape> shape);
  void DeleteShape(int index);
  int DeleteShapeObject(TdtpShape* shape);

  // --- Selection over the current page's direct children ---
  int SelectedCount() const;
  // The n-th selected child (0-based), or null.
  TdtpShape* SelectedShape(int n) const;
  bool HasSelection() const { return SelectedCount() > 0; }
  void ClearSelection();
  void ToggleSelection(TdtpShape* shape);
  // Raises "Threading error (working already)" while busy.
  void DeleteSelection();
  // The focused shape while it is still a direct child of the current page, else null.
  TdtpShape* FocusedShape() const;
  void SetFocusedShape(TdtpShape* shape);

  // --- Notification batching and counters ---
  void BeginUpdate();
  // Raises "EndUpdate called more often than BeginUpdate" without its BeginUpdate; the count then
  // stays 0, so later pairs work again.
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  void BeginUndo() {
    undo_.BeginGroup();
    BeginUpdate();
  }
  // Raises "EndUndo called more often than BeginUndo" without its BeginUndo.
  void EndUndo() {
    undo_.EndGroup();
    EndUpdate();
  }
  void DisableUndo() { undo_.Suspend(); }
  // Raises "EnableUndo called more often than DisableUndo" without its DisableUndo.
  void EnableUndo() { undo_.Resume(); }
  void BeginBusy(TCursor cursor = crHourGlass);
  void EndBusy();
  bool IsBusy() const { return busyCount_ > 0; }
  void BeginPrinting() { ++printingCount_; }
  void EndPrinting();
  bool IsPrinting() const { return printingCount_ > 0; }
  bool IsLoading() const { return loadingCount_ > 0; }
  // The archive reader brackets its reading with these.
  void BeginLoading() { ++loadingCount_; }
  void EndLoading();

  void DocumentChanged();
  void PageChanged(TdtpPage* page);
  void ShapeChanged(TdtpShape* shape);
  // Clears every reference into the leaving shape's subtree and ends an edit inside it.
  void ShapeDestroyed(TdtpShape* shape);
  void SelectionChanged();
  void FocusChanged(TdtpShape* shape);
  void ReportLoadError(TdtpShape* shape, const std::string& text);
  void Progress(TdtpProgressType type, int32_t count, float fraction, int32_t total);
  // Increments and returns the identity counter (1, 2, 3 ...).
  int32_t NextShapeId() { return ++shapeIdCounter_; }
  void SetCursorShape(TCursor cursor);

  // --- Whole document ---
  // No pages, no undo log, empty storage and default background, the defaults restored.
  void Clear();
  void SetDefaults();
  // Each refused while busy ("Threading error (working already)"), runs busy with the hourglass
  // and holds the picture resource lock. A missing file raises "Cannot find file "name"".
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& stream);
  // Modified and the undo log are cleared only once the storage was written successfully.
  void SaveToFile(const std::string& fileName);
  void SaveToStream(TStream& stream);
  // The archive steps: read the settings and pages from the storage, and write them into it.
  // Loading reads the settings and thumbnails and only page 0's text; a failed load keeps the
  // pages made so far with none current. Saving writes the settings and each read page that is
  // new or changed, and refuses more than 9999 pages; Modified is left to the caller.
  virtual void LoadFromArchive();
  virtual void SaveToArchive();
  virtual void ReadSettings(const TXmlNode& node);
  virtual void WriteSettings(TXmlNode& node);

  // --- Printing (engine/printing.cpp) ---
  // Prints every page in order on the services' printer; raises "There is no printer" without one.
  void Print();
  // Prints the pages first .. first + count - 1; indices without a page are skipped.
  void PrintPages(int first, int count);
  // The print job: one sheet per listed page that exists and has an area, in list order, and no
  // job at all when there is none. Raises "Threading error (working already)" while busy; a job
  // that fails is aborted on the printer and the error passes on.
  void PrintPageList(const std::vector<int>& indices);
  // At PrintQuality, heard by OnProgress.
  void PrintPageList(const std::vector<int>& indices, IPrinter& printer);
  void PrintPageList(const std::vector<int>& indices, IPrinter& printer, const TPrintJob& job);
  // Dots per millimetre of PrintQuality; 0 for pqDevice, meaning the printer's own resolution.
  float PrinterDpm() const { return PrintQualityDpm(PrintQuality); }
  // The display name of a print quality; empty outside the enumeration.
  static std::string PrintQualityName(TPrintQualityType quality);
  // Leaves out bands that hold nothing but the opaque page colour.
  bool OptimizedPrinting = false;
  // Paints the part source of page, in pixels of the page rendered at dpm per mm from its top-left
  // corner, into band (source's size) on a pixel grid fixed to the page, so that the pieces of a
  // page join exactly as if it had been rendered at once; the view's placement of the page plays
  // no part. An empty band or source paints nothing.
  void RenderPageBand(TdtpPage& page, TBitmap32& band, const TRect& source, double dpm, const TdtpPaintInfo& info);
  // Prints page at dpm onto dest (the page's size at dpm, one canvas pixel per rendered one) by
  // placing pictures instead of rendering bands: each picture its shapes share is made once and
  // placed at every shape that lays it, cut to its clip, pixel for pixel as the bands would show
  // it. Only for a white page holding nothing but such shapes, laid on whole pixels without
  // overlapping; false, with nothing printed, for any other page.
  bool PlacePagePictures(TdtpPage& page, TCanvas& canvas, const TRect& dest, double dpm, const TdtpPaintInfo& info,
                         const std::function<void(double share)>& progress);
  // How every print paints page at dpm pixels per mm (the printers, the sheet's preview and
  // RenderPage alike): device mode and a printer's device, caches cleared to the page colour at
  // alpha 0 (so that resampled edges and a turned shape's corners fade towards the page, not
  // towards black, and cover nothing below), the document's stretch filter.
  TdtpPaintInfo PrintPaintInfo(const TdtpPage& page, double dpm) const;
  // The count and total of the last progress report (the band renderer's job position).
  int32_t LastProgressCount() const { return progressCount_; }
  int32_t LastProgressTotal() const { return progressTotal_; }

  // --- Undo log (engine/undo_log.h; engine/undo.cpp) ---
  // Records the command, or frees it while recording is off. Inside an undo group every command
  // after the first is Joined; a property record equal to the last one is dropped.
  virtual void AddUndo(std::unique_ptr<TdtpCommand> command);
  virtual void ClearUndo() { undo_.Clear(); }
  int UndoCount() const { return undo_.UndoCount(); }
  int RedoCount() const { return undo_.RedoCount(); }
  // Null outside the range.
  TdtpCommand* UndoItem(int index) const { return undo_.UndoItem(index); }
  // Null outside the range; the last item is the next step Redo replays.
  TdtpCommand* RedoItem(int index) const { return undo_.RedoItem(index); }
  int64_t UndoBytes() const { return undo_.UndoBytes(); }
  // True only while undo is enabled, not suspended and no load is running.
  bool UndoEnabled() const { return undo_.Recording() && loadingCount_ == 0; }
  // Turning recording off clears both lists.
  void SetUndoEnabled(bool value) {
    if (undo_.SetEnabled(value) && !value) ClearUndo();
  }
  // Hands the command to the shape that recorded it; false for ShapeId 0, and false with the
  // message "Unable to execute Undo" when no shape takes it.
  virtual bool ExecuteCommand(TdtpCommand* command);
  // Reverts the last undo group (the last command and the joined ones before it) and keeps the
  // records of what it replaced as the next redo step; false when there is nothing to undo or
  // recording is off. Raises "Threading error (working already)" while busy.
  bool Undo() { return ReplayStep(true); }
  // Replays the last redo step the same way, back onto the undo list.
  bool Redo() { return ReplayStep(false); }
  bool CanUndo() const { return UndoEnabled() && UndoCount() > 0; }
  bool CanRedo() const { return UndoEnabled() && RedoCount() > 0; }
  // A gesture (a drag, a spin edit held down) is one undo step keeping only the first old value
  // of each shape property it changes. A gesture with a non-empty key continues the previous one
  // of the same key when nothing else was recorded in between. Gestures nest; only the outermost
  // counts.
  void BeginGesture(const std::string& key = {}) {
    if (undo_.BeginGesture(key)) BeginUpdate();
  }
  // Raises "EndGesture called more often than BeginGesture" without its BeginGesture.
  void EndGesture() {
    if (undo_.EndGesture()) EndUndo();
  }
  bool InGesture() const { return undo_.InGesture(); }

  // --- Clipboard of shapes (engine/clipboard.cpp) ---
  // Copy, Cut and Paste raise "Threading error (working already)" while busy.
  // The selected direct children of the current page as clipboard text; nothing without selection.
  virtual void Copy();
  // Copy, then delete the selection, as one undo step.
  virtual void Cut();
  // Pastes the clipboard's shapes as the new selection, 10 mm further on when pasted on the page
  // they were copied from, and makes them the clipboard's contents.
  virtual void Paste();
  // Whether the clipboard holds text that may be copied shapes.
  virtual bool CanPaste() const;
  // A "Selection" XML document of the selected direct children of the current page; empty
  // without selection.
  virtual std::string SelectionToXml() const;
  // Adds the shapes of a "Selection" text to the current page, selected; returns how many. Text
  // that is no such document, or no current page, adds nothing and returns 0. An error while a
  // shape loads passes on; the shapes pasted before it stay.
  virtual int PasteFromXml(const std::string& text);
  // Copies go to the platform clipboard (when the services carry one), else to ClipboardText.
  bool UseClipboard() const { return useClipboard_; }
  // Turning it on empties ClipboardText.
  void SetUseClipboard(bool value);
  bool UndoPastSave = false;

  // --- Hooks the view, the interaction and the handles fill ---
  // view: repaints the shape's screen bounds with handles.
  virtual void InvalidateShape(TdtpShape* shape);
  // view: invalidates the whole window.
  virtual void InvalidateWindow();
  // view: recomputes the scroll range for the current page and places the page.
  virtual void UpdateScrollRange();
  // view: draws a page's thumbnail; null until the view draws thumbnails.
  virtual std::unique_ptr<TBitmap32> RenderThumbnail(TdtpPage& page);
  // handles: a new painter of the HandlePainter style for the shape; under hpCustomHandle the
  // one OnCreateHandlePainter gives. Null leaves the shape the stipple style.
  virtual std::unique_ptr<TdtpHandlePainter> CreateHandlePainter(TdtpShape* shape);
  // interaction: the mouse is neither dragging, selecting nor editing.
  virtual bool MouseIdle() const { return interaction_.MouseState == msIdle; }
  // interaction: ends an in-place edit (accepted or not); safe when none runs (EndShapeEdit).
  virtual void EndEditing(bool accepted) { EndShapeEdit(accepted); }

  // --- State the interaction, the view and the clipboard keep here ---
  TdtpShape* EditShape() const { return interaction_.EditShape; }
  void SetEditShape(TdtpShape* shape) { interaction_.EditShape = shape; }
  TdtpShape* MouseShape() const { return interaction_.MouseShape; }
  void SetMouseShape(TdtpShape* shape) { interaction_.MouseShape = shape; }
  TdtpShape* HintShape() const { return interaction_.HintShape; }
  void SetHintShape(TdtpShape* shape) { interaction_.HintShape = shape; }

  // --- Interaction (engine/interaction.cpp) ---
  TdtpMouseState MouseState() const { return interaction_.MouseState; }
  // The hit kind of the last left-button down or hover.
  uint8_t HitKind() const { return interaction_.HitKind; }
  // View point of the last left-button down, and the current mouse view point minus it.
  TFloatPoint StartPoint() const { return interaction_.StartPoint; }
  TFloatPoint DragDelta() const { return interaction_.Delta; }
  // Whether the XOR drag outline is on the screen.
  bool OutlineShown() const { return interaction_.OutlineShown; }
  // The hit kind and shape at a window point: handles of selected children first, then the
  // selectable children's bodies, topmost first; (0, null) when ReadOnly or nothing is there.
  uint8_t FindShapeAt(const TPoint& p, TdtpShape*& shape);
  // Every child of the current page asked for the deepest shape hit, topmost first.
  uint8_t FindDeepShapeAt(const TPoint& p, TdtpShape*& shape);
  // The resize cursor of a handle kind turned with the shape, else Cursor.
  TCursor CursorForHandle(const TdtpShape* shape, uint8_t kind) const;
  // Leaves the current state (hiding the hint, cancelling a drag or band) for s.
  void SetMouseState(TdtpMouseState s);
  void StartDrag(const TFloatPoint& d);
  // Ends a drag, applying the proposals when apply is true; nothing outside the dragging state.
  void EndDrag(bool apply);
  // Draws (or erases: XOR) the outline of every selected child for delta d.
  void ToggleDragOutline(const TFloatPoint& d);
  // Every selected direct child's ApplyDrag, in child order, as one undo step.
  void ApplyDragToSelection();
  void DrawRubberBand(const TFloatPoint& d);
  void EndRubberBand(bool select);
  void SelectInBand();
  // p snapped to the current page's grid when snap is true and there is a current page.
  TFloatPoint SnapViewPoint(const TFloatPoint& p, bool snap) const;
  // Starts in-place editing of shape (nothing for null or a shape outside the document).
  void BeginShapeEdit(TdtpShape* shape);
  // Ends in-place editing: OnShapeEditClosed, then the shape's EndEdit; safe when none runs.
  void EndShapeEdit(bool accepted);
  // One step of hot-zone scrolling (the 50 ms timer and mouse moves run it).
  void HotzoneScroll();
  void StartHint(const TPoint& p, TdtpShape* shape, int32_t delay);
  void ShowShapeHint();
  void HideHint();
  // Rebuilds the probes when the value changes.
  void SetHitSensivity(float value);
  // Creates or frees the hot-zone timer.
  void SetHotzoneScrolling(TdtpHotzoneScrollingType value);
  // The document's own menu: "Cut", "Copy" and "Paste".
  TPopupMenu& DocumentMenu() { return documentMenu_; }
  // The menu a right click shows now (see the source for the order of choice).
  TPopupMenu* CurrentPopupMenu() override;
  bool WantsSpecialKey(uint16_t key) override;
  // Hint and hot-zone timers while they exist (tests drive them).
  ITimer* HintTimer() const { return interaction_.HintTimer.get(); }
  ITimer* HotzoneTimer() const { return interaction_.HotzoneTimer.get(); }
  bool HotzoneActive() const { return interaction_.HotzoneActive; }
  // The millisecond clock of hot-zone scrolling; null uses the system's tick counter.
  std::function<uint64_t()> TickSource;
  TdtpPage* LastCopyPage() const { return lastCopyPage_; }
  void SetLastCopyPage(TdtpPage* page) { lastCopyPage_ = page; }

  // Hit-test probe offsets in pixels (21 of them); (0, 0) outside the range.
  void BuildProbes();
  int ProbeCount() const { return static_cast<int>(probes_.size()); }
  TPoint Probe(int index) const;

  // View-to-screen mapping: window pixels = (view mm - WindowLeft/Top) x ScreenDpm.
  double ScreenDpm() const { return screenDpm_; }
  void SetScreenDpmValue(double dpm) { screenDpm_ = dpm; }
  double RenderDpm() const { return renderDpm_; }
  void SetRenderDpmValue(double dpm) { renderDpm_ = dpm; }
  double WindowLeft = 0;
  double WindowTop = 0;

  // --- Timer ---
  // One tick of the 50 ms timer (the timer calls it; tests may too).
  void TimerTick();
  uint64_t LastModificationTick() const { return lastModificationTick_; }
  ITimer* Timer() const { return timer_.get(); }

  // --- Properties ---
  bool Modified() const { return modified_; }
  void SetModified(bool value);
  TdtpViewerModeType Mode() const { return mode_; }
  void SetMode(TdtpViewerModeType value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  TDeviceType Device = dtScreen;
  // Kept for callers that set it; LoadFromFile opens files read-only either way and SaveToFile
  // replaces a file whole, so neither setting changes the user's file before a save.
  bool ArchiveDirect = false;

  // Stored settings (their behaviour belongs to the view, interaction, printing and handles).
  TdtpViewStyleType ViewStyle = vsPrintLayout;
  TdtpHelperMethodType HelperMethod = hmNone;
  TdtpDocPerformanceType Performance = dpMemoryOverSpeed;
  uint8_t Quality = 2;
  bool RenderAtScreenRes = false;
  bool AutoWidth = true;
  bool AutoPageUpdate = false;
  int32_t PageUpdateInterval = 2000;
  bool StoreThumbnails = true;
  int32_t ThumbnailWidth = 80;
  int32_t ThumbnailHeight = 60;
  double ZoomPercent = 100;
  TdtpColor Color = clAppWorkSpace;
  bool AllowKeyInput = true;
  float HitSensivity = 1.0f;
  TdtpHotzoneScrollingType HotzoneScrolling = hzsNoScroll;
  int32_t HintPause = 500;
  int32_t HintHidePause = 2500;
  int32_t HintShortPause = 50;
  TdtpMultiSelectMethod MultiSelectMethod = msmSimple;
  bool SnapToGrid = false;
  float StepAngle = 0;
  TdtpColor HandleColor = 0xFFFFFF;
  TdtpColor HandleEdgeColor = 0;
  TdtpHandlePainterType HandlePainter = hpW2K3Handle;
  TPrintQualityType PrintQuality = pqLow;
  bool ShowHint = false;
  TCursor Cursor = crDefault;
  // The cursor of a drag leaving the window, set at every left-button down.
  TCursor DragCursor = crDefault;
  // The control's own popup menu (not owned); shown when no shape offers one.
  TPopupMenu* PopupMenu = nullptr;
  std::string ClipboardText;

  // --- Events ---
  TdtpNotifyEvent OnDocumentChanged;
  TdtpPageEvent OnPageChanged;
  TdtpShapeNotifyEvent OnShapeChanged;
  TdtpShapeNotifyEvent OnShapeDestroy;
  TdtpNotifyEvent OnShapeListChanged;
  TdtpNotifyEvent OnSelectionChanged;
  TdtpShapeNotifyEvent OnFocusShape;
  TdtpLoadErrorEvent OnLoadError;
  TdtpProgressEvent OnProgress;
  TdtpXmlInfoEvent OnLoadAdditionalInfo;
  TdtpXmlInfoEvent OnSaveAdditionalInfo;
  TdtpShapeXmlInfoEvent OnShapeLoadAdditionalInfo;
  TdtpShapeXmlInfoEvent OnShapeSaveAdditionalInfo;
  TdtpNotifyEvent OnAnimate;
  TdtpLocateFilenameEvent OnLocateFilename;
  TdtpHandlePainterEvent OnCreateHandlePainter;
  TdtpMouseEvent OnMouseDown;
  TdtpMouseEvent OnMouseUp;
  TdtpShapeNotifyEvent OnShapeEditClosed;
  // Declared for the application; the engine never raises it.
  TdtpShapeNotifyEvent OnShapeInsertClosed;

  // --- View (engine/view.cpp) ---
  // Screen pixels per mm; a value that is not finite and positive is refused (nothing changes).
  void SetScreenDpm(double dpm);
  // Resolution of shape caches on screen; a change frees the current page's caches. Refuses
  // values that are not finite and positive.
  void SetRenderDpm(double dpm);
  double RenderDPI() const { return DpiOfDpm(renderDpm_); }
  void SetRenderDPI(double dpi) { SetRenderDpm(DpmOfDpi(dpi)); }
  // Any change sets the render resolution to the screen resolution.
  void SetRenderAtScreenRes(bool value);
  // Fits the current page's width (with its curbs) to the client; nothing without current page.
  void FitWidth();
  // Fits the whole page to the client and stores ZoomPercent to match.
  void FitPage();
  // Scales the screen resolution by factor keeping the window centre in place; a factor giving
  // no finite positive resolution does nothing.
  void ZoomBy(double factor);
  // Fits the width and zooms by percent / 100, only while AutoWidth; values that are not finite
  // and positive are refused.
  void SetZoomPercent(double percent);
  // ZoomPercent 100 and FitWidth.
  void ResetZoom();
  // Places the page anew (scrolling to the top-left corner) and repaints; nothing when unchanged.
  void SetViewStyle(TdtpViewStyleType value);
  // Repaints; existing caches keep the filter they were made with.
  void SetQuality(uint8_t value);
  // The page decoration on screen; repaints when changed.
  void SetHelperMethod(TdtpHelperMethodType value);
  // A change makes every thumbnail stale (and the document modified).
  void SetThumbnailWidth(int32_t value);
  void SetThumbnailHeight(int32_t value);
  // Window pixels to view millimetres and back (floats).
  TFloatPoint ScreenToView(const TFloatPoint& p) const;
  TFloatPoint ViewToScreen(const TFloatPoint& p) const;
  // Paints the canvas's clip rectangle of the window: the current page, then the handles.
  void PaintWindow(TCanvas& canvas);
  // Rulers beside the window (not owned; null detaches). Assigning one updates it.
  void SetRulerTop(IRuler* ruler);
  void SetRulerLeft(IRuler* ruler);
  void SetRulerCorner(IRulerCorner* corner);
  IRuler* RulerTop() const { return rulerTop_; }
  IRuler* RulerLeft() const { return rulerLeft_; }
  IRulerCorner* RulerCorner() const { return rulerCorner_; }
  TRulerUnit RulerUnits() const { return rulerUnits_; }
  void SetRulerUnits(TRulerUnit value);
  // Gives the rulers the unit, the millimetre at the window's edge and the screen resolution.
  void UpdateRulers();
  // handles: the handles of the current page's selected direct children, then those of the
  // shape being edited when it is not selected; nothing when ReadOnly.
  virtual void DrawSelectionHandles(TCanvas& canvas);

  // --- IWindowClient: what the window forwards ---
  // Nothing while printing or loading; the drag outline or band shown now is drawn again over
  // what was painted.
  void Paint(TCanvas& canvas, const TRect& clip) override;
  // Refits the page when the width changed at ZoomPercent 100 (AutoWidth), then the bars.
  void Resized() override;
  void Scroll(TScrollBarKind kind, TScrollRequest request, int32_t position) override;
  // The mouse and key handlers of the interaction (engine/interaction.cpp): the left button
  // selects, drags and bands in vmEdit, the right and middle ones only raise OnMouseDown/Up;
  // while a shape is edited in place, mouse and keys go to it.
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  // Also moves the rulers' hair lines to the mouse and runs hot-zone scrolling.
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  // OnMouseUp is raised also when the release's handling raises.
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  // Starts in-place editing of the deepest shape hit (or activates it when it may not be edited).
  void DoubleClick(TShiftState shift, int32_t x, int32_t y) override;
  // Not handled (false): the window scrolls.
  bool MouseWheel(TShiftState shift, int32_t delta, int32_t x, int32_t y) override;
  // Escape cancels a drag or band, Delete deletes the selection, F2 edits the first selected
  // shape, F5 refreshes the page; nothing without AllowKeyInput.
  void KeyDown(uint16_t key, TShiftState shift) override;
  // Ctrl+C, Ctrl+V and Ctrl+X (characters 3, 22, 24): Copy, Paste and Cut.
  void KeyPress(char16_t ch) override;
  void KeyUp(uint16_t key, TShiftState shift) override;
  void FocusChanged(bool focused) override;

  // --- Paint pipeline (engine/paint.cpp) ---
  // Most pixels one shape cache may hold; a larger cache is made at the highest resolution that
  // fits.
  static constexpr int64_t kCachePixelBudget = int64_t(1) << 26;
  // Draws shape onto target, which covers area exactly: area is in the shape's parent frame, or
  // in its own frame when untransformed. A shape that fails to paint is left out and reported
  // once through ReportLoadError; empty targets and areas paint nothing.
  void DrawTo(TdtpShape* shape, TBitmap32& target, const TFloatRect& area, bool untransformed,
              const TdtpPaintInfo& info);
  // Paints shape, its canvas drawing and its visible children onto bitmap covering the local
  // area.
  void PaintContent(TdtpShape* shape, TBitmap32& bitmap, const TFloatRect& area, const TdtpPaintInfo& info);
  // The resolution a cache wanted at dpm is made at: dpm, lowered to keep within
  // kCachePixelBudget; 0 when the shape has no cache pixels at all.
  static float CacheResolution(const TdtpShape& shape, double dpm);
  // content painted as a cache made at dpm for a shape of like's size and curbs holds it, laid
  // out pixel for pixel the same: the picture a shape that shares its cache (SharedCache) lays.
  std::unique_ptr<TBitmap32> RenderCachePicture(TdtpShape& content, const TdtpShape& like, float dpm,
                                                const TdtpPaintInfo& info);
  // The page at dpm pixels per mm as printing sees it (no screen decorations, the page colour
  // behind): round(width x dpm) x round(height x dpm) pixels. Raises for sizes the bitmap refuses.
  std::unique_ptr<TBitmap32> RenderPage(TdtpPage& page, double dpm);

  // --- View events ---
  TdtpNotifyEvent OnUpdateScrollPosition;
  TdtpCanvasEvent OnPaintBackground;
  TdtpCanvasEvent OnPaintForeground;
  // Declared for the application; the engine never raises it.
  TdtpQualityIndicatorEvent OnDrawQualityIndicator;
  // Reports a shape's paint failure through ReportLoadError unless it was reported already; a
  // shape that paints again is reported anew when it fails later.
  void ReportPaintError(TdtpShape* shape, const std::string& message);
  // Raises the error of a shape that failed to paint in the running print job, if one did.
  void CheckPrintFailure() const;
  // The page's own painting raises the canvas events on a canvas over bitmap.
  void RaiseCanvasEvent(const TdtpCanvasEvent& event, TBitmap32& bitmap, const TRect& pageRect);

protected:
  // Throws "Threading error (working already)" while busy.
  void CheckNotBusy() const;
  // After a successful write of the storage: Modified false and, unless UndoPastSave, no undo log.
  void MarkSaved();
  // Marks the thumbnails of the pages that follow the defaults as stale.
  void StaleDefaultThumbnails();
  void SetDefaultMargin(int index, float value);
  // Resets the values Clear and SetDefaults share.
  void ResetSharedDefaults();
  // Removes the page at index from the list after telling everyone it leaves.
  void RemovePage(int index);
  // Undo (true) or Redo: replays the last step of one list and keeps what it replaced as a step of
  // the other.
  bool ReplayStep(bool undo);

  TServices services_;
  IWindowHost* host_ = nullptr;
  TsdStorage storage_;
  TDecodedPictures* decodedPictures_ = nullptr;
  std::vector<std::unique_ptr<TdtpPage>> pages_;
  std::unique_ptr<TdtpBitmapResource> defaultBackground_;
  TdtpUndoLog undo_;
  bool useClipboard_ = true;
  int32_t shapeIdCounter_ = 0;
  int32_t updateCount_ = 0;
  int32_t busyCount_ = 0;
  int32_t printingCount_ = 0;
  int32_t loadingCount_ = 0;
  bool pendingShapeChange_ = false;
  bool pendingSelectionChange_ = false;
  bool pendingFocusChange_ = false;
  TdtpShape* focusedShape_ = nullptr;
  uint64_t lastModificationTick_ = 0;
  TdtpPage* lastCopyPage_ = nullptr;
  std::unique_ptr<ITimer> timer_;
  bool inTimerTick_ = false;
  std::vector<TPoint> probes_;
  int currentPageIndex_ = -1;
  float defaultPageWidth_ = 210, defaultPageHeight_ = 297;
  std::array<float, 4> defaultMargins_{10, 10, 10, 10};
  float defaultGridSize_ = 5;
  TdtpColor defaultGridColor_ = 0xFFFFC0;
  TdtpColor defaultPageColor_ = 0xFFFFFF;
  bool defaultBackgroundTiled_ = false;
  bool showMargins_ = true;
  bool modified_ = false;
  TdtpViewerModeType mode_ = vmEdit;
  bool readOnly_ = false;
  double screenDpm_ = kDefaultDpm;
  double renderDpm_ = kDefaultDpm;
  std::string fileName_;
  int32_t progressCount_ = 0;
  int32_t progressTotal_ = 0;

  // --- View state ---
  // The document's own scroll hook: WindowLeft/Top follow the position.
  void ScrollChanged() override;
  // The cached path of DrawTo: rebuilds the shape's cache when needed and lays it onto target.
  void DrawCached(TdtpShape* shape, TBitmap32& target, const TFloatRect& area, bool untransformed,
                  const TdtpPaintInfo& info);
  // Shows the application-start cursor until the paint running now ends.
  void ShowAppStartCursor();
  // The matrix from shape's local frame to grid pixels.
  static TdtpAffineTransform LocalToGrid(const TdtpShape& shape, const TdtpPaintGrid& grid);
  // The sampler's map from a shape's cache at r pixels per mm to grid pixels.
  static TdtpAffineTransform CacheToGridMap(const TdtpShape& shape, double r, const TdtpPaintGrid& grid);
  // The cached path's last step on the window: the cache laid onto the grid in fixed chunks;
  // snap places a picture at its own resolution on whole pixels, copied rather than resampled.
  void DrawCacheOnGrid(TdtpShape* shape, const TBitmap32& cache, double dpm, TBitmap32& target,
                       const TdtpPaintGrid& grid, bool snap);
  IRuler* rulerTop_ = nullptr;
  IRuler* rulerLeft_ = nullptr;
  IRulerCorner* rulerCorner_ = nullptr;
  TRulerUnit rulerUnits_ = ruMilli;
  int32_t lastWidth_ = 0;
  bool inScrollRange_ = false;
  bool appStartShown_ = false;
  // Identities of shapes whose paint failure was reported; a shape that paints again leaves.
  std::set<int32_t> paintErrors_;
  // Shapes that failed during the paint running now, and how deep DrawTo calls are nested.
  std::set<int32_t> failedThisPaint_;
  int32_t paintDepth_ = 0;
  // While a print job runs: the first shape that failed to paint, named, with its error; a print
  // that would leave a shape out stops with it instead.
  bool printJob_ = false;
  std::string printFailure_;

  // --- Interaction state (engine/interaction.cpp) ---
  // Mouse-message state: the view point of (x, y), Alt from the keyboard now.
  bool AltHeld() const;
  bool CtrlHeld() const;
  // Draws the outline of every selected child at the proposals computed last, on canvas.
  void DrawSelectionOutlines(TCanvas& canvas);
  // The window rectangle every selected child's drag feedback may touch.
  TRect OutlineBounds();
  TRect BandRect(const TFloatPoint& d) const;
  // Redraws the XOR figures shown now over a fresh paint of the clip, so that what is on the
  // screen always matches the outline and band the interaction state says are shown.
  void RedrawFeedback(TCanvas& canvas);
  void MouseDownLeft(TShiftState shift, int32_t x, int32_t y);
  void MouseUpLeft(TShiftState shift, int32_t x, int32_t y);
  void ApplyCtrlCopy();
  void DocumentMenuClick(const std::string& caption);
  void BuildDocumentMenu();
  // Clears every interaction reference into a leaving shape's subtree (ShapeDestroyed).
  void ForgetInteractionShape(TdtpShape* shape);
  // What the interaction keeps between events.
  TdtpInteractionState interaction_;
  TPopupMenu documentMenu_;
};

}  // namespace sw
