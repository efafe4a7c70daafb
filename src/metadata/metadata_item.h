// QTMetaDataItemZQK: one item of a metadata container. It locks the container
// object that made it and holds a reference of its own to the container, so it
// keeps working after the container object's Close.
#pragma once

#include <pelorin/sdk.h>

#include <QuickTime/MetaData.h>

#include "metadata/metadata_item_instance.h"

extern REALclassDefinition QTMetaDataItemZQKClass;

// The instance data of a QTMetaDataItemZQK; null for nil.
MetaDataItemInstance* MetaDataItemFields(REALobject instance);

// A new item object for `item` of the container `ref`, which `container` (the
// QTMetaDataZQK that found or added it) holds. The item locks `container` and
// retains `ref`. Nil when the host cannot make the object.
REALobject NewMetaDataItemObject(REALobject container, QTMetaDataRef ref, QTMetaDataItem item);
