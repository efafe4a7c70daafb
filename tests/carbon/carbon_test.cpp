// Memory Manager, fixed-point and bundle loading, through their C surface.
#include <CoreFoundation/CoreFoundation.h>
#include <FixMath.h>
#include <Folders.h>
#include <MacErrors.h>
#include <MacMemory.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(MemoryManager, HandlesKeepTheirSizeAndContents) {
  long before = CarbonLiveHandleCount();
  Handle h = NewHandleClear(8);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 8);
  EXPECT_EQ((*h)[7], 0);
  std::memcpy(*h, "abcdefgh", 8);
  SetHandleSize(h, 12);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(std::memcmp(*h, "abcdefgh", 8), 0);
  EXPECT_EQ(PtrAndHand("ijkl", h, 4), noErr);
  EXPECT_EQ(GetHandleSize(h), 16);

  Handle copy = h;
  EXPECT_EQ(HandToHand(&copy), noErr);
  EXPECT_NE(copy, h);
  EXPECT_EQ(std::memcmp(*copy + 12, "ijkl", 4), 0);

  // A locked handle cannot grow: it would have to move.
  HLock(h);
  SetHandleSize(h, 1 << 20);
  EXPECT_EQ(MemError(), memFullErr);
  HUnlock(h);

  DisposeHandle(h);
  DisposeHandle(copy);
  EXPECT_EQ(CarbonLiveHandleCount(), before);
}

TEST(MemoryManager, BadHandlesAreRefusedNotTrusted) {
  EXPECT_EQ(GetHandleSize(nullptr), 0);
  EXPECT_EQ(MemError(), nilHandleErr);
  Handle h = nullptr;
  EXPECT_EQ(PtrToHand("x", &h, 1), noErr);
  DisposeHandle(h);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(NewHandle(-1), nullptr);
  EXPECT_EQ(MemError(), memFullErr);
  Handle empty = NewHandle(0);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(*empty, nullptr);
  EXPECT_EQ(GetHandleSize(empty), 0);
  DisposeHandle(empty);
}

TEST(FixedPoint, ConversionsRoundAndSaturate) {
  EXPECT_EQ(Long2Fix(1), 0x10000);
  EXPECT_EQ(Long2Fix(-2), -0x20000);
  EXPECT_EQ(Long2Fix(40000), 0x7FFFFFFF);
  EXPECT_EQ(Long2Fix(-40000), static_cast<Fixed>(0x80000000));
  EXPECT_EQ(Fix2Long(0x18000), 2);   // 1.5 rounds up
  EXPECT_EQ(Fix2Long(0x17FFF), 1);
  EXPECT_EQ(Fix2Long(-0x18000), -1);
  EXPECT_EQ(FixRatio(1, 2), 0x8000);
  EXPECT_EQ(FixRatio(-3, 2), -0x18000);
  EXPECT_EQ(FixRatio(1, 0), 0x7FFFFFFF);
  EXPECT_EQ(FixMul(0x20000, 0x18000), 0x30000);
  EXPECT_EQ(FixMul(0x7FFFFFFF, 0x20000), 0x7FFFFFFF);
}

TEST(Bundles, FontManagerLoadsFromTheFrameworksFolder) {
  long liveBefore = CFLiveObjectCount();
  FSRef folder;
  ASSERT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder), noErr);
  CFURLRef base = CFURLCreateFromFSRef(kCFAllocatorDefault, &folder);
  CFURLRef url = CFURLCreateCopyAppendingPathComponent(kCFAllocatorDefault, base, CFSTR("Carbon.framework"), false);
  CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
  ASSERT_NE(bundle, nullptr);
  ASSERT_TRUE(CFBundleLoadExecutable(bundle));

  auto getFNum = reinterpret_cast<void (*)(ConstStr255Param, int16_t*)>(
      CFBundleGetFunctionPointerForName(bundle, CFSTR("GetFNum")));
  auto getFontName = reinterpret_cast<void (*)(int16_t, Str255)>(
      CFBundleGetFunctionPointerForName(bundle, CFSTR("GetFontName")));
  ASSERT_NE(getFNum, nullptr);
  ASSERT_NE(getFontName, nullptr);
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("NoSuchCall")), nullptr);

  int16_t id = -1;
  getFNum(reinterpret_cast<const unsigned char*>("\x06Monaco"), &id);
  EXPECT_EQ(id, 4);
  getFNum(reinterpret_cast<const unsigned char*>("\x07nowhere"), &id);
  EXPECT_EQ(id, 0);
  getFNum(reinterpret_cast<const unsigned char*>("\x06geneva"), &id);
  EXPECT_EQ(id, 3);
  Str255 name;
  getFontName(22, name);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "Courier");
  getFontName(999, name);
  EXPECT_EQ(name[0], 0);

  CFRelease(bundle);
  CFRelease(url);
  CFRelease(base);
  EXPECT_EQ(CFLiveObjectCount(), liveBefore);
}

TEST(Bundles, MissingFrameworksFolderIsAnError) {
  CarbonSetFrameworksFolder("/nonexistent/Frameworks");
  FSRef folder;
  EXPECT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder), fnfErr);
  CarbonSetFrameworksFolder(nullptr);
  EXPECT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder), noErr);
}

}  // namespace
