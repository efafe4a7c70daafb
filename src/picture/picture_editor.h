// Direct access to the pixels of a host picture.
//
//   PictureWriter writer;
//   if (writer.NewPictureWriter(width, height)) {
//     for (each row) { for (each pixel) writer.WritePixel(value); writer.NextRow(); }
//     REALpicture picture = writer.RenderPictureWriter();  // the caller's reference
//   }
//
// The host keeps a picture's pixels either in a Core Graphics bitmap context
// (desktop applications) or in its console pixel store (console and web
// applications). The editor hides which behind PixelFormat(): 1 to 6 are the
// context's alpha info, 8 the console store; each pixel is one 32-bit value laid
// out as that format demands.
#pragma once

#include <pelorin/sdk.h>

#include <QuickDraw.h>

#include <cstdint>

class PictureEditor {
 public:
  // Alpha info of Core Graphics contexts, and the console store.
  enum : int32_t { kConsolePixels = 8 };

  PictureEditor() = default;
  virtual ~PictureEditor();
  PictureEditor(const PictureEditor&) = delete;
  PictureEditor& operator=(const PictureEditor&) = delete;

  // Ends the editing: the picture, with a reference the caller owns, or nil when
  // nothing was open. The editor holds nothing afterwards.
  REALpicture RenderPictureWriter();

  // The row protocol: values go to the current row from its left, then NextRow
  // moves to the start of the next one (back to the first after the last).
  uint8_t* CurrentRow() const { return currentRow_; }
  void WritePixel(uint32_t value);
  void NextRow();

  int32_t PixelFormat() const { return pixelFormat_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t RowBytes() const { return rowBytes_; }
  bool AlphaInUse() const { return alphaInUse_; }
  bool HoldsPicture() const { return picture_ != nullptr; }

 protected:
  // Lets go of the pixel map, the description lock, the host's cached rendering
  // (when the pixels changed) and the picture, in that order.
  void Release();

  int32_t rowBytes_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bytesPerPixel_ = 0;
  int32_t pixelFormat_ = 0;
  uint8_t* currentRow_ = nullptr;
  REALpictureDescription description_{};
  void* pixelBuffer_ = nullptr;  // pixels of no picture, made into one by RenderPictureWriter
  uint8_t* row0_ = nullptr;
  int32_t column_ = 0;
  int32_t rowIndex_ = 0;
  REALpicture picture_ = nullptr;  // holds a lock of the editor's own
  PixMapHandle pixelMap_ = nullptr;  // pixels locked while held
  uint8_t** rowTable_ = nullptr;     // the console store's row pointers
  bool hasAlphaChannel_ = false;
  bool alphaInUse_ = false;
  bool modified_ = false;
  bool descriptionLocked_ = false;
};

class PictureWriter : public PictureEditor {
 public:
  ~PictureWriter() override = default;

  // A new 32-bit picture of width × height (each 1 to 32767), open for writing
  // from its top-left pixel. False, holding nothing, when the host cannot make
  // the picture or open its pixels in a form this editor writes.
  bool NewPictureWriter(int32_t width, int32_t height);

 private:
  bool OpenBitmapContext();
  bool OpenConsolePixels();
};
