// What a document's mouse and keyboard interaction (engine/interaction.cpp) keeps between one
// event and the next: the left button's state and the feedback it has on the screen, the shapes
// it points at, and the hint and hot-zone scrolling with their timers. The document owns one and
// publishes its parts through one-line accessors.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/timer.h"
#include "raster/geometry.h"

namespace sw {

class TdtpShape;

// What the left button is doing.
enum TdtpMouseState : uint8_t { msIdle = 0, msDragging = 1, msBand = 2, msEditing = 3 };

struct TdtpInteractionState {
  TdtpMouseState MouseState = msIdle;
  // The hit kind of the last left-button down or hover.
  uint8_t HitKind = 0;
  // View point of the last left-button down, and the current mouse view point minus it.
  TFloatPoint StartPoint{0, 0};
  TFloatPoint Delta{0, 0};
  // The XOR figures on the screen now: the drag outline (drawn with Alt or not) and the band.
  bool OutlineShown = false;
  bool OutlineAlt = false;
  bool BandShown = false;
  TFloatPoint BandDelta{0, 0};
  // The shapes the drag outline was drawn for; their proposals are the drag's.
  std::vector<TdtpShape*> DragShapes;
  // The shape edited in place, and whether its editing is ending now.
  TdtpShape* EditShape = nullptr;
  bool EndingEdit = false;
  // The shape under the mouse, and the one whose hint shows or waits.
  TdtpShape* MouseShape = nullptr;
  TdtpShape* HintShape = nullptr;
  TPoint HintPoint{0, 0};
  std::unique_ptr<ITimer> HintTimer;
  bool HintWindowShown = false;
  // Scrolling near the window's edges: its timer, clock, speed-up and the last mouse point.
  std::unique_ptr<ITimer> HotzoneTimer;
  uint64_t HotzoneLastTick = 0;
  int64_t HotzoneAcceleration = 0;
  bool HotzoneActive = false;
  TPoint HotzoneLastPoint{0, 0};
};

}  // namespace sw
