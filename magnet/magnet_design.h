// TMagnetDesign: the magnet being designed, without any window. It owns the design document (one
// page holding the nine layers), the list of layer records, the references to the layers, the
// template's name, type and bleed margin, the print settings, the print-position grid and the
// grey flash of the message box. The window binds its controls to it; stickwell-cli and the tests
// drive it directly.
//
// Layer references never outlive their shapes: the document tells the design about every shape
// that leaves, and an absent layer (an older template has only five) makes every operation on it
// do nothing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/document.h"
#include "magnet/design_objects.h"
#include "magnet/param_list.h"
#include "magnet/print_layout.h"
#include "platform/services.h"

namespace sw {

class TdtpBitmapShape;
class TdtpMemoShape;
class TdtpPolygonShape;
class TMergeTable;
class TMapStream;
class TXmlNode;

// The user's picture as one state of it: its bytes (sharing the resource's blocks, so keeping it
// copies nothing), file name, zoom reference and visibility. Undo keeps one before and after
// every load, clear and replacement, so that the picture itself comes back.
struct TUserPicture {
  std::string FileName;
  std::shared_ptr<TMapStream> Bytes;
  TDesignObject Entry;
  bool Visible = false;
};

// Window-system colours the layers use.
constexpr TdtpColor kColourWhite = 0xFFFFFF;
constexpr TdtpColor kColourBlack = 0x000000;
constexpr TdtpColor kColourGrey = 0x808080;

// The two template types; any other stored text counts as none.
constexpr const char kTemplateTypeBasic[] = "basic";
constexpr const char kTemplateTypeClockFace[] = "clock face";

// The largest bleed margin the template accepts, in millimetres.
constexpr float kMaxBleedMargin = 150;

// The print settings; margins in millimetres.
struct TPrintSettings {
  int32_t PaperWidth = 210;
  int32_t PaperHeight = 297;
  float OuterMarginX = 15;
  float OuterMarginY = 23;
  float InnerMarginX = 0;
  float InnerMarginY = 0;
  bool Portrait = true;
  bool Precut = true;
};

// What the message controls show for the text layer.
struct TTextControls {
  int32_t Height = 0;
  int32_t Width = 0;
  int32_t Top = 0;
  int32_t Left = 0;
  int32_t Rotate = 0;
};

// What the picture controls show for a bitmap layer.
struct TImageControls {
  int32_t Zoom = 100;
  int32_t Top = 0;
  int32_t Left = 0;
  int32_t Rotate = 0;
};

// The rotation spin value of a layer angle a in [0, 360): Round(360 - a) above 180, else Round(-a).
int32_t AngleSpinValue(float angle);
// A typed rotation spin value folded into [-179, 180]: above 180 minus 360, below -179 plus 360.
int32_t FoldRotateSpin(int32_t value);
// The template name shown for a template file: the file name without folder, its first ".fmt" (any
// letter case) removed and every "_" a space.
std::string TemplateDisplayName(const std::string& fileName);
// The file name without its folder.
std::string FileNameOnly(const std::string& path);

class TMagnetDesign {
public:
  // Builds the empty design (NewDesign) in a document made with services; the flash timer comes
  // from services.Timers (none: FlashTick is called by whoever runs the clock).
  explicit TMagnetDesign(const TServices& services);
  ~TMagnetDesign();
  TMagnetDesign(const TMagnetDesign&) = delete;
  TMagnetDesign& operator=(const TMagnetDesign&) = delete;

  // The design document. Its OnShapeDestroy belongs to the design.
  TdtpDocument& Document() { return document_; }
  const TdtpDocument& Document() const { return document_; }
  TDesignObjectList& DesignObjects() { return *objects_; }
  // A template or design has been applied since the last failure.
  bool DesignLoaded() const { return designLoaded_; }

  // --- Layers ---
  // The shape bound to the layer; null when the design has no such layer.
  TdtpShape* Layer(TLayer layer) const { return layers_[static_cast<size_t>(layer)]; }
  // The layer as its class; null when absent.
  TdtpPolygonShape* RectLayer(TLayer layer) const;
  TdtpBitmapShape* BitmapLayer(TLayer layer) const;
  TdtpMemoShape* TextLayer() const;
  // The bitmap layer the picture operations act on (usrImage unless the template editor chose
  // another); null when that layer is absent.
  TdtpBitmapShape* ActiveImage() const { return BitmapLayer(activeImage_); }
  TLayer ActiveImageLayer() const { return activeImage_; }
  // Refuses (does nothing for) a layer that is not a bitmap layer.
  void SetActiveImage(TLayer layer);
  // The record of a layer's shape; null when the layer is absent.
  TDesignObject* LayerObject(TLayer layer);

  // Empties the page and builds the nine invisible layers on a 210 x 297 mm page; a new record
  // list; Modified false. DesignLoaded does not change.
  void NewDesign();
  // Places the layers for a magnet w x h (whole mm) with bleed m: the page becomes
  // (w + 2m) x (h + 2m), the message goes to half the magnet's size, centred.
  void LayoutTemplateLayers(int32_t w, int32_t h, float m);
  // Copies the layer's geometry into its record; nothing for an absent layer.
  void RecordLayerGeometry(TLayer layer);
  // Puts the recorded geometry back (the angle keeps the position point); nothing when absent.
  void RestoreLayerGeometry(TLayer layer);

  // --- Parameters, loading and saving ---
  // Binds the layers of a loaded document by the names in their parameters (or by position in an
  // older template), reads the template name and type and, with resetPrint, the print settings.
  // Leaves Modified false. On an error (a bad zoom value, a layer of the wrong class) the design
  // is rebuilt empty, DesignLoaded becomes false, and the error passes on.
  void ApplyDesign(bool resetPrint);
  // Writes the page parameters into the page's Name and each shape's layer parameters into its
  // Name; ends a running message flash first so the grey box is never stored.
  void StoreDesignParams(const std::string& folder = {});
  // The layer parameters of the shape into its record (geometry first); a value that is not a
  // number raises the conversion error.
  void ReadLayerParams(TdtpShape& shape);
  void WriteLayerParams(TdtpShape& shape);
  // The page parameters as StoreDesignParams writes them.
  // The merge file is written relative to folder where it can be.
  std::string PageParams(const std::string& folder = {}) const;
  // Default print settings (A4), then the stored paper when both sides are whole millimetres, then
  // the stored ones in order until the first missing or unreadable value; the bleed margin is
  // clamped to 0 .. kMaxBleedMargin.
  void ResetPrintSettings();
  // The parameters ResetPrintSettings reads: the page parameters last read or written.
  const TParamList& StoredPageParams() const { return pageParams_; }

  // The document's load. A missing file changes nothing; any other failure leaves the empty
  // design (DesignLoaded false). The error passes on.
  void LoadDesignFile(const std::string& fileName);
  // The document's save. A failure leaves the document modified; the error passes on.
  void SaveDesignFile(const std::string& fileName);
  // "select template" (templateEditing false) and "Load Template" (true) after the dialog: load,
  // remember the file, apply, name the template from its file name.
  void OpenTemplate(const std::string& fileName, bool templateEditing = false);
  // "load design" after the dialog: load, remember the file, apply; not a template-editor action.
  void OpenDesign(const std::string& fileName);
  // "save design" / "Save Template" after the dialog: parameters, save, remember the file (only
  // when the save succeeded). A name without extension gets ".fmd" / ".fmt".
  void SaveDesign(const std::string& fileName);
  void SaveTemplate(const std::string& fileName);
  const std::string& TemplateFileName() const { return templateFileName_; }
  // The merge source whose rows fill the message's fields, as a path the program can open (empty:
  // none), and the column naming each copy's picture file (empty: the design's picture for all).
  // Saved with the design relative to the design file's folder where it can be; a design opened
  // from a file takes a relative path from that file's folder.
  const std::string& MergeFileName() const { return mergeFileName_; }
  const std::string& MergePictureColumn() const { return mergePictureColumn_; }
  void SetMerge(const std::string& fileName, const std::string& pictureColumn);
  // The message shows the table's first row in its fields wherever the design is shown (null, or a
  // table without rows: the fields as written); editing it in place shows the fields. Not saved,
  // and it stays over the designs loaded after it.
  void ShowMergeRow(const TMergeTable* table);
  const std::string& DesignFileName() const { return designFileName_; }

  // --- Template fields and print settings (changes of stored ones mark the design modified) ---
  const std::string& TemplateName() const { return templateName_; }
  void SetTemplateName(const std::string& value);
  // "basic", "clock face" or empty (no item).
  const std::string& TemplateType() const { return templateType_; }
  // Text matching a type without regard to case selects it; anything else selects none.
  void SetTemplateType(const std::string& value);
  float BleedMargin() const { return bleedMargin_; }
  // Clamped to 0 .. kMaxBleedMargin; a value that is not finite is ignored.
  void SetBleedMargin(float value);
  const TPrintSettings& PrintSettings() const { return print_; }
  void SetPaperWidth(int32_t value);
  void SetPaperHeight(int32_t value);
  // Values that are not finite are ignored.
  void SetOuterMarginX(float value);
  void SetOuterMarginY(float value);
  void SetInnerMarginX(float value);
  void SetInnerMarginY(float value);
  void SetPortrait(bool value);
  void SetPrecut(bool value);
  // What the print layout of this design depends on: its page, bleed and print settings.
  TPrintLayoutInput LayoutInput() const;
  // A setting or the grid changed since the last print layout ("refresh" enabled).
  bool LayoutStale() const { return layoutStale_; }
  void SetLayoutStale(bool value) { layoutStale_ = value; }
  // The print positions; ApplyDesign asks for all of them to be selected at the next layout.
  TLayoutGrid& Grid() { return grid_; }
  // The picture controls may be enabled: usrImage was visible when the design was applied.
  bool ImageGroupAllowed() const { return imageGroupAllowed_; }

  // --- Print copies ---
  // Saves the design page into node with the overlays of the paper type, then restores the
  // design's overlays (olImage visible, olMask hidden, the four at their resting MasterAlpha).
  void SaveDesignForPrint(TXmlNode& node);
  // MasterAlpha 255 on olImage, olMask and olBorder; on olOutline 255, or 0 where the cut follows
  // the cutout's window.
  void RestoreOverlayAlpha();
  // The cutout picture has a window of its own shape: the copies for uncut paper are cut along
  // it (magnet/cut_line.h), and the rectangle rests hidden in the design, where it would draw a
  // square around a round magnet. A cutout that does not decode has none.
  bool CutFollowsWindow() const;

  // --- Message ---
  void SetMessageText(const std::u16string& text);
  // Font from the dialog: size in points (FontHeight = points x 25.4 / 72).
  void SetMessageFont(const std::string& name, double points, bool bold, bool italic, TdtpColor colour);
  // "Arial - 10 point"; empty without the text layer.
  std::string FontText() const;
  // The text's size in whole points as the font dialog opens at.
  int32_t FontPoints() const;
  // The family the font system really draws the message's font name with (Liberation Sans for a
  // stored "Arial"); the stored name itself without a font system, a text layer or any font.
  std::string MessageFontFamily() const;
  // How far the laid-out message reaches beyond its box, in millimetres across and down; (0, 0)
  // when it fits or there is no message. The box cuts off what reaches beyond, on screen and in
  // print.
  TFloatPoint MessageOverflow() const;
  // The message's lines and how many of them the box shows whole (both 0 without a message).
  int32_t MessageLines() const;
  int32_t MessageLinesShown() const;
  // "fit text": the font shrunk, in tenths of a point and never below one point, to the largest
  // size whose text fits the box; nothing when it fits. True when the text fits afterwards.
  bool FitMessageText();
  void MoveText(float left, float top);
  void SizeText(float width, float height);
  // Turns the text about its centre to -value degrees.
  void RotateText(int32_t value);
  // The box behind the message takes the text's frame.
  void SyncTextBox();
  // The message "reset": recorded geometry, box synced.
  void ResetText();
  std::optional<TTextControls> TextControls() const;
  // The see-through check box: the box behind the message is see-through when it is fully
  // transparent (during a flash: when it will be so once the flash ends).
  bool TextBoxSeeThrough() const;
  // Transparent box, or opaque white (during a flash: also what the flash ends with).
  void SetTextBoxSeeThrough(bool value);
  // Turns the box grey at half opacity for 21 ticks of 100 ms.
  void FlashTextBox();
  // One 100 ms tick of the flash; ends it when the count has run out.
  void FlashTick();
  // Ends the flash at once: the box as the check box says.
  void EndTextFlash();
  bool Flashing() const { return flashing_; }
  int32_t FlashCountdown() const { return flashCountdown_; }
  void SetBackgroundColour(TdtpColor colour);

  // --- Pictures ---
  // Loads the picture file into the layer; it takes its natural size at 150 pixels per inch. A
  // file that is no picture raises and leaves the layer's picture as it was.
  void LoadPictureInto(TLayer layer, const std::string& fileName);
  // What the last picture loaded was found to lack (damaged or cut short, yet loaded); empty
  // when it was whole. The window and the batch tool show it.
  const std::string& PictureWarning() const { return pictureWarning_; }
  // Loads the picture, makes the layer active and lets it cover the page with its proportions
  // kept; that size is zoom 100 %. A failing load changes nothing else.
  void LoadAndFitPicture(TLayer layer, const std::string& fileName);
  // "load image": the user's picture, covering, then at a quarter of that size, centred.
  void LoadUserPicture(const std::string& fileName);
  // The active picture at 25 %, centred on the page to the nearest millimetre.
  void CentreQuarterZoom();
  // Width and height := the zoom reference x percent / 100; the position point stays.
  void ZoomActiveImage(int32_t percent);
  void MoveActiveImage(float left, float top);
  void RotateActiveImage(int32_t value);
  // "clear image": the user's picture hidden (kept in the layer).
  void ClearUserPicture();
  // The user's picture as it is now; null without the layer.
  std::shared_ptr<const TUserPicture> UserPicture();
  // Puts a kept state back: the bytes (when they differ from the layer's), the zoom reference and
  // the visibility. The geometry is the document undo's business.
  void RestoreUserPicture(const TUserPicture& picture);
  // Picture "reset": recorded geometry, visible, then CentreQuarterZoom.
  void ResetActiveImage();
  std::optional<TImageControls> ImageControls(TLayer layer) const;
  // With "keep aspect ratio": the partner of a new width or height from the active image's zoom
  // reference; nothing when there is no usable reference (the partner stays as it is).
  std::optional<int32_t> HeightForWidth(int32_t width) const;
  std::optional<int32_t> WidthForHeight(int32_t height) const;

  // --- Template editor ---
  // The layer chosen in "active image"; none at start and after NewDesign, "user image" after a
  // design is applied.
  std::optional<TLayer> ActiveImageChoice() const { return activeChoice_; }
  // Chooses a bitmap layer as the active image (other layers are refused).
  void ChooseActiveImage(TLayer layer);
  // "load" with the chosen picture file: the cutout or background image starts a new template
  // around the picture, the cutout mask covers the page, the user image is fitted. Nothing without
  // a choice. Marks the last file action a template-editor one either way.
  void LoadActiveImage(const std::string& fileName);
  // The picture becomes the active image covering the page; the message, box, background and
  // overlays get their template defaults; the magnet size is 90 x 50 for a picture taller than
  // wide, else 50 x 90; the layers are laid out for it; the design counts as loaded.
  void LoadTemplateImage(TLayer layer, const std::string& fileName);
  // The mask picture over the whole page, shown as "view cutout mask" says.
  void LoadCutoutMask(const std::string& fileName);
  // The template size fields from the layer's size.
  void ShowTemplateSize(TLayer layer);
  // Magnet size of the template being built, whole millimetres.
  int32_t TemplateWidth() const { return templateWidth_; }
  int32_t TemplateHeight() const { return templateHeight_; }
  // With KeepAspectRatio, the partner follows the active image's zoom reference (it stays when
  // there is none). The layers change only with PreviewTemplate.
  void SetTemplateWidth(int32_t value);
  void SetTemplateHeight(int32_t value);
  bool KeepAspectRatio = true;
  // "Preview Template": the layers laid out for the template size and the bleed margin.
  void PreviewTemplate();
  // "view cutout mask" and "border": the mask's and the cutting line's visibility.
  bool ViewMask() const { return viewMask_; }
  void SetViewMask(bool value);
  bool Border() const { return border_; }
  void SetBorder(bool value);
  // The active image's MasterAlpha, 0 .. 255; 0 without an active image.
  int32_t ActiveAlpha() const;
  void SetActiveAlpha(int32_t value);
  // The last file action was a template-editor one: the close prompt asks about the template.
  bool TemplateEditing() const { return templateEditing_; }
  void SetTemplateEditing(bool value) { templateEditing_ = value; }

private:
  void ClearLayers();
  void OnShapeDestroy(TdtpShape* shape);
  // Binds shape to layer after checking its class; raises for a class that does not fit.
  void Bind(TLayer layer, TdtpShape* shape);
  // The message shape shows shownRow_ (or its own text without one).
  void ShowMergeRowIn(TdtpMemoShape& text) const;
  void ApplyDesignSteps(bool resetPrint);
  // Marks the document modified when a stored value changed.
  void StoredChanged();
  // A design page to work on, also after a load that left the document without pages.
  void RequireDocumentPage();
  // The zoom reference ratio height / width of the active image; nothing when unusable.
  std::optional<float> ZoomRatio() const;

  TdtpDocument document_;
  std::unique_ptr<TDesignObjectList> objects_;
  std::array<TdtpShape*, kLayerCount> layers_{};
  TLayer activeImage_ = TLayer::usrImage;
  bool designLoaded_ = false;
  std::string pictureWarning_;
  // What the document reported while loading (the first few).
  static constexpr size_t kMaxLoadErrors = 16;
  std::vector<std::string> loadErrors_;
  bool imageGroupAllowed_ = false;
  TParamList pageParams_;
  std::string templateName_;
  std::string templateType_ = kTemplateTypeBasic;
  float bleedMargin_ = 0;
  TPrintSettings print_;
  bool layoutStale_ = false;
  TLayoutGrid grid_;
  std::string templateFileName_;
  std::string designFileName_;
  std::string mergeFileName_;
  std::string mergePictureColumn_;
  // The header and first row ShowMergeRow was given; null without.
  std::shared_ptr<const TMergeTable> shownRow_;
  bool flashing_ = false;
  // The flash paints over the box's transparency: whether it was see-through, for the flash's end.
  bool flashEndsSeeThrough_ = false;
  int32_t flashCountdown_ = 0;
  std::unique_ptr<ITimer> flashTimer_;
  std::optional<TLayer> activeChoice_;
  int32_t templateWidth_ = 0;
  int32_t templateHeight_ = 0;
  bool viewMask_ = true;
  bool border_ = true;
  bool templateEditing_ = false;
};

}  // namespace sw
