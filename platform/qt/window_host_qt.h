// The document window on Qt: a scroll area whose viewport is the client area. It implements
// IWindowHost for the document and forwards paint, resize, scroll-bar, mouse, key, wheel and focus
// events to an IWindowClient. The scroll bars belong to the document: they move only through
// SetScrollBar, and the user's scroll-bar actions arrive as scroll requests.
#pragma once

#include <QAbstractScrollArea>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRegion>

#include <functional>
#include <map>
#include <string>

#include "platform/window_host.h"
#include "raster/bitmap32.h"

class QScrollBar;

namespace sw {

class TQtWindowHost : public QAbstractScrollArea, public IWindowHost {
  Q_OBJECT

public:
  explicit TQtWindowHost(QWidget* parent = nullptr);
  ~TQtWindowHost() override;

  // The client receiving the events; not owned, may be null (then the window paints its
  // background colour and drops the events).
  void SetClient(IWindowClient* client) { client_ = client; }
  IWindowClient* Client() const { return client_; }
  // Receives the message of an error a client raised while handling an event, after the event
  // is done (errors never cross the event loop). Without one the message goes to qWarning.
  void SetErrorHandler(std::function<void(const std::string&)> handler) { onError_ = std::move(handler); }
  // The Qt cursor shown for a cursor number; the program's own -30 to -38 are registered at
  // construction with pictures drawn in code, and may be replaced.
  void RegisterCursor(TCursor number, const QCursor& cursor) { cursors_[number] = cursor; }
  // The cursor number last set.
  TCursor CurrentCursor() const { return cursor_; }
  // The Qt cursor a cursor number shows: a registered one, a standard shape, or the arrow.
  QCursor CursorFor(TCursor number) const;

  int32_t ClientWidth() const override;
  int32_t ClientHeight() const override;
  void Invalidate(const TRect& rect) override;
  void InvalidateAll() override;
  void ScrollContent(int32_t dx, int32_t dy) override;
  void SetScrollBar(TScrollBarKind kind, const TScrollBarInfo& info) override;
  void SetCursor(TCursor cursor) override;
  void SetMouseCapture(bool capture) override;
  void SetFocus() override;
  bool Focused() const override;
  // Delivers pending events except user input (paints, timers), so a long job keeps the window
  // drawn without the user acting inside it.
  void ProcessPendingWork() override;
  int32_t WindowWidth() const override { return width(); }
  int32_t WindowHeight() const override { return height(); }
  TShiftState KeyboardState() const override;
  TPoint CursorPos() const override;
  // Draws onto the window's own copy of its pixels and shows the result without asking the client.
  void DrawDirect(const TRect& bounds, const std::function<void(TCanvas&)>& draw) override;
  // Repaints the client area at once.
  void PaintNow() override;
  void ShowHint(const std::string& text, const TPoint& at, TdtpColor color) override;
  void HideHint() override;
  // Starts once the current event is over.
  void StartDragDrop(const std::string& text) override;

  // The hint window while one is shown (null otherwise), and the popup menu last shown.
  QLabel* HintWindow() const { return hint_; }
  QMenu* ShownPopupMenu() const { return menu_; }

  // The scroll bar as the document last set it.
  const TScrollBarInfo& ScrollBarInfo(TScrollBarKind kind) const { return bars_[static_cast<int>(kind)]; }

protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

private:
  // Runs a client call; an error is reported once the event is over.
  void Guard(const std::function<void()>& call);
  void ReportError(const std::string& message);
  void OnBarAction(TScrollBarKind kind, int action);
  void OnBarReleased(TScrollBarKind kind);
  QScrollBar* Bar(TScrollBarKind kind) const;
  // Puts the bar back where the document wants it, whatever the slider did on its own.
  void RestoreBar(TScrollBarKind kind);

  IWindowClient* client_ = nullptr;
  std::function<void(const std::string&)> onError_;
  std::map<TCursor, QCursor> cursors_;
  TCursor cursor_ = crDefault;
  TScrollBarInfo bars_[2];
  bool captured_ = false;
  // Shows the client's popup menu at a client point after a right click.
  void ShowPopupMenu(const TPoint& at);

  // The client's pixels: the canvas works in client coordinates, so it covers the viewport. They
  // follow every scroll, so they always match what the window shows.
  TBitmap32 backing_;
  // Parts whose pixels in backing_ are newer than on the screen and need no client paint.
  QRegion directOnly_;
  QPointer<QLabel> hint_;
  QPointer<QMenu> menu_;
};

// The virtual-key number of a Qt key (letters and digits as their upper-case ASCII codes), or 0
// for keys without one.
uint16_t VirtualKeyOf(int qtKey);

}  // namespace sw
