// Names the extern "C" definitions use unqualified. The model's Movie, Track and
// Media stay qualified: the public handle types carry the same names.
#pragma once

#include "api.h"

using qte::Bytes;
using qte::DataRef;
using qte::done;
using qte::Edit;
using qte::EditList;
using qte::Fix;
using qte::kFixedOne;
using qte::live;
using qte::need;
using qte::SampleStore;
using qte::SampleTable;
using qte::Scales;
using qte::Tag;
using qte::toTimeValue;
