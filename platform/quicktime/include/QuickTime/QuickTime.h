// Everything the engine offers.
#pragma once

#include <QuickTime/AudioLayout.h>
#include <QuickTime/ImageCompression.h>
#include <QuickTime/MetaData.h>
#include <QuickTime/MovieFiles.h>
#include <QuickTime/Movies.h>
#include <QuickTime/QuickTimeComponents.h>
#include <QuickTime/QuickTimeErrors.h>
#include <QuickTime/TextMedia.h>
#include <QuickTime/TimeCodeMedia.h>
