// Host pictures opened for direct pixel access.
#include "picture/picture_editor.h"

#include <CoreGraphics/CoreGraphics.h>

#include <cstddef>
#include <cstring>

#include "host/framework.h"
#include "host/host.h"
#include "host/pictures.h"

namespace {

// The kind of host application, learnt from the first picture opened and kept:
// a desktop host keeps pictures in bitmap contexts, a console or web host in its
// console pixel store.
bool IsDesktop = false;
bool IsConsole = false;

constexpr int32_t kLargestSide = 32767;

void LearnApplicationKind() {
  if (IsDesktop || IsConsole) return;
  if (REALGetClassRef("Application")) {
    IsDesktop = true;
  } else if (REALGetClassRef("WebApplication") || REALGetClassRef("ConsoleApplication")) {
    IsConsole = true;
  }
}

}  // namespace

// ---- PictureEditor ----

PictureEditor::~PictureEditor() { Release(); }

void PictureEditor::Release() {
  if (pixelMap_) {
    if (auto unlockPixels = _UnlockPixels.get()) unlockPixels(pixelMap_);
    pixelMap_ = nullptr;
  }
  if (descriptionLocked_) {
    REALUnlockPictureDescription(picture_);
    descriptionLocked_ = false;
  }
  if (modified_ && picture_) REALPictureClearCache(picture_);
  modified_ = false;
  if (picture_) {
    REALUnlockObject(picture_);
    picture_ = nullptr;
  }
}

REALpicture PictureEditor::RenderPictureWriter() {
  REALpicture result = nullptr;
  if (picture_) {
    REALLockObject(picture_);  // the caller's reference; Release drops the editor's
    REALPictureClearCache(picture_);
    result = picture_;
  } else if (pixelBuffer_) {
    result = REALBuildPictureFromBuffer(width_, height_, kREALPixelXRGB, pixelBuffer_, rowBytes_);
  }
  Release();
  return result;
}

void PictureEditor::WritePixel(uint32_t value) {
  if (!currentRow_ || column_ >= width_) return;
  std::memcpy(currentRow_, &value, sizeof value);
  currentRow_ += bytesPerPixel_;
  ++column_;
}

void PictureEditor::NextRow() {
  column_ = 0;
  ++rowIndex_;
  if (rowIndex_ >= height_) {
    currentRow_ = row0_;
  } else if (rowTable_) {
    currentRow_ = rowTable_[rowIndex_];
  } else {
    currentRow_ = row0_ + static_cast<ptrdiff_t>(rowIndex_) * rowBytes_;
  }
}

// ---- PictureWriter ----

bool PictureWriter::NewPictureWriter(int32_t width, int32_t height) {
  if (width < 1 || width > kLargestSide || height < 1 || height > kLargestSide) return false;
  REALpicture picture = REALNewPicture(width, height, 32);
  if (!picture) return false;

  Release();
  modified_ = true;
  LearnApplicationKind();
  bool hasAlpha = false;
  hasAlphaChannel_ = REALGetPropValueBoolean(picture, "HasAlphaChannel", &hasAlpha) && hasAlpha;
  alphaInUse_ = false;

  bool opened = false;
  bool tried = false;
  if (!IsConsole && REALLockPictureDescription(picture, &description_, kREALPictureCGBitmapContext)) {
    IsDesktop = true;
    tried = true;
    opened = OpenBitmapContext();
  }
  if (!tried && !IsDesktop && REALLockPictureDescription(picture, &description_, kREALPictureConsolePixels)) {
    IsConsole = true;
    tried = true;
    opened = OpenConsolePixels();
  }

  if (opened) {
    descriptionLocked_ = true;
    REALLockObject(picture);
    picture_ = picture;
    currentRow_ = row0_;
    bytesPerPixel_ = 4;
    column_ = 0;
    rowIndex_ = 0;
  } else {
    if (tried) REALUnlockPictureDescription(picture);
    rowTable_ = nullptr;
    row0_ = nullptr;
    currentRow_ = nullptr;
    alphaInUse_ = false;
  }
  REALUnlockObject(picture);  // the editor keeps its own reference
  return opened;
}

// 32 bits per pixel with an alpha info this editor can write: premultiplied
// alpha when the picture has an alpha channel, any 32-bit RGB layout otherwise.
bool PictureWriter::OpenBitmapContext() {
  CGContextRef context = static_cast<CGContextRef>(description_.pictureData);
  if (description_.pictureType != kREALPictureCGBitmapContext || !context) return false;
  void* data = CGBitmapContextGetData(context);
  const size_t bitsPerPixel = CGBitmapContextGetBitsPerPixel(context);
  const size_t width = CGBitmapContextGetWidth(context);
  const size_t height = CGBitmapContextGetHeight(context);
  const size_t bytesPerRow = CGBitmapContextGetBytesPerRow(context);
  const int32_t alphaInfo = static_cast<int32_t>(CGBitmapContextGetAlphaInfo(context) & 7);

  if (hasAlphaChannel_) {
    if (alphaInfo != kCGImageAlphaPremultipliedLast && alphaInfo != kCGImageAlphaPremultipliedFirst) return false;
    alphaInUse_ = true;
  } else if (alphaInfo < kCGImageAlphaPremultipliedLast || alphaInfo > kCGImageAlphaNoneSkipFirst) {
    return false;
  }
  if (bitsPerPixel != 32 || !data) return false;
  pixelFormat_ = alphaInfo;
  rowBytes_ = static_cast<int32_t>(bytesPerRow);
  row0_ = static_cast<uint8_t*>(data);
  rowTable_ = nullptr;
  width_ = static_cast<int32_t>(width);
  height_ = static_cast<int32_t>(height);
  return true;
}

// The console store: a zero first word, then its row pointers and companion.
bool PictureWriter::OpenConsolePixels() {
  const auto* store = static_cast<const REALconsolePixels*>(description_.pictureData);
  if (description_.pictureType != kREALPictureConsolePixels || !store) return false;
  if (store->zero != 0 || !store->rows || !store->companion) return false;
  pixelFormat_ = kConsolePixels;
  width_ = static_cast<int32_t>(description_.width);
  height_ = static_cast<int32_t>(description_.height);
  rowBytes_ = width_ * 4;
  rowTable_ = store->rows;
  row0_ = rowTable_[0];
  return true;
}
