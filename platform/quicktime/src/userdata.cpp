// User data lists, kept as the item atoms of a udta atom.
#include "api_using.h"

#include <algorithm>
#include <cstring>

namespace qte {

namespace {

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
void put32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

}  // namespace

int UserDataList::count(OSType type) const {
  return static_cast<int>(std::count_if(items.begin(), items.end(), [&](const UserDataItem& i) { return i.type == type; }));
}

long UserDataList::position(OSType type, long index) const {
  if (index < 1) return -1;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].type == type && --index == 0) return static_cast<long>(i);
  return -1;
}

UserDataItem* UserDataList::find(OSType type, long index) {
  long p = position(type, index);
  return p < 0 ? nullptr : &items[static_cast<size_t>(p)];
}

Bytes UserDataList::flatten() const {
  Bytes out;
  for (const auto& item : items) {
    put32(out, static_cast<uint32_t>(item.data.size() + 8));
    put32(out, item.type);
    out.insert(out.end(), item.data.begin(), item.data.end());
  }
  return out;
}

OSErr UserDataList::parse(const uint8_t* p, size_t n, std::vector<UserDataItem>& out) {
  // A single enclosing 'udta' atom covering everything is looked through.
  if (n >= 8 && be32(p) == n && be32(p + 4) == "udta"_4cc) {
    p += 8;
    n -= 8;
  }
  size_t at = 0;
  while (at < n) {
    if (n - at < 8) {
      // The list may end with a 32-bit zero.
      if (n - at == 4 && be32(p + at) == 0) break;
      return paramErr;
    }
    uint32_t size = be32(p + at);
    if (size == 0 && n - at == 4) break;
    if (size < 8 || size > n - at) return paramErr;
    out.push_back({be32(p + at + 4), Bytes(p + at + 8, p + at + size)});
    at += size;
  }
  return noErr;
}

}  // namespace qte

namespace {

qte::UserDataList* list(UserData ud) { return live<qte::UserDataList>(ud); }

// International text records inside an item: {u16 length, u16 language, bytes}.
struct TextRecord {
  size_t at;    // offset of the record in the item
  size_t size;  // whole record
  uint16_t language;
};

bool textRecords(const Bytes& item, std::vector<TextRecord>& out) {
  size_t at = 0;
  while (at < item.size()) {
    if (item.size() - at < 4) return false;
    size_t len = (size_t(item[at]) << 8) | item[at + 1];
    if (item.size() - at - 4 < len) return false;
    out.push_back({at, len + 4, uint16_t((item[at + 2] << 8) | item[at + 3])});
    at += len + 4;
  }
  return true;
}

}  // namespace

extern "C" {

OSErr NewUserData(UserData* theUserData) {
  QTE_CALL_ERR("NewUserData", (void)a_) {
    if (!theUserData) return done(paramErr);
    *theUserData = qte::handleOf<UserData>(new qte::UserDataList(false));
    return done(noErr);
  };
}

OSErr DisposeUserData(UserData theUserData) {
  QTE_CALL_ERR("DisposeUserData", a_.object("userData", theUserData)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    // Lists that belong to a movie, track or media go with their owner.
    if (ud->owned) return done(paramErr);
    delete ud;
    return done(noErr);
  };
}

OSErr GetUserData(UserData theUserData, Handle data, OSType udType, SInt32 index) {
  QTE_CALL_ERR("GetUserData",
               a_.object("userData", theUserData)("data", data)("type", Tag{udType})("index", index)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    qte::UserDataItem* item = ud->find(udType, index);
    if (!item) return done(userDataItemNotFound);
    if (data) {
      SetHandleSize(data, static_cast<Size>(item->data.size()));
      if (MemError() != noErr) return done(MemError());
      if (!item->data.empty()) std::memcpy(*data, item->data.data(), item->data.size());
    }
    return done(noErr);
  };
}

OSErr AddUserData(UserData theUserData, Handle data, OSType udType) {
  QTE_CALL_ERR("AddUserData", a_.object("userData", theUserData)("data", data)("type", Tag{udType})) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    if (!data) return done(nilHandleErr);
    if (udType == 0 || GetHandleSize(data) > INT32_MAX - 8) return done(paramErr);
    const auto* p = reinterpret_cast<const uint8_t*>(*data);
    ud->items.push_back({udType, Bytes(p, p + GetHandleSize(data))});
    return done(noErr);
  };
}

OSErr RemoveUserData(UserData theUserData, OSType udType, SInt32 index) {
  QTE_CALL_ERR("RemoveUserData", a_.object("userData", theUserData)("type", Tag{udType})("index", index)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    long p = ud->position(udType, index);
    if (p < 0) return done(userDataItemNotFound);
    ud->items.erase(ud->items.begin() + p);
    return done(noErr);
  };
}

short CountUserDataType(UserData theUserData, OSType udType) {
  QTE_CALL("CountUserDataType", short(0), a_.object("userData", theUserData)("type", Tag{udType})) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr), 0;
    done(noErr);
    return static_cast<short>(std::min(ud->count(udType), 0x7FFF));
  };
}

SInt32 GetNextUserDataType(UserData theUserData, OSType udType) {
  QTE_CALL("GetNextUserDataType", SInt32(0), a_.object("userData", theUserData)("type", Tag{udType})) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr), 0;
    done(noErr);
    // Types in order of first appearance.
    std::vector<OSType> types;
    for (const auto& item : ud->items)
      if (std::find(types.begin(), types.end(), item.type) == types.end()) types.push_back(item.type);
    if (udType == 0) return types.empty() ? 0 : static_cast<SInt32>(types.front());
    auto it = std::find(types.begin(), types.end(), udType);
    if (it == types.end() || it + 1 == types.end()) return 0;
    return static_cast<SInt32>(*(it + 1));
  };
}

OSErr GetUserDataItem(UserData theUserData, void* data, SInt32 size, OSType udType, SInt32 index) {
  QTE_CALL_ERR("GetUserDataItem",
                a_.object("userData", theUserData)("size", size)("type", Tag{udType})("index", index)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    qte::UserDataItem* item = ud->find(udType, index == 0 ? 1 : index);
    if (!item) return done(userDataItemNotFound);
    if (!data || size < 0 || static_cast<size_t>(size) != item->data.size()) return done(paramErr);
    if (size) std::memcpy(data, item->data.data(), item->data.size());
    return done(noErr);
  };
}

OSErr SetUserDataItem(UserData theUserData, void* data, SInt32 size, OSType udType, SInt32 index) {
  QTE_CALL_ERR("SetUserDataItem",
                a_.object("userData", theUserData)("size", size)("type", Tag{udType})("index", index)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    if (size < 0 || (size > 0 && !data) || udType == 0) return done(paramErr);
    const auto* p = static_cast<const uint8_t*>(data);
    Bytes bytes(p, p + size);
    if (index == 0) index = 1;
    if (qte::UserDataItem* item = ud->find(udType, index)) {
      item->data = std::move(bytes);
    } else if (index == ud->count(udType) + 1) {
      ud->items.push_back({udType, std::move(bytes)});
    } else {
      return done(userDataItemNotFound);
    }
    return done(noErr);
  };
}

OSErr GetUserDataText(UserData theUserData, Handle data, OSType udType, SInt32 index, short itlRegionTag) {
  QTE_CALL_ERR("GetUserDataText", a_.object("userData", theUserData)("data", data)("type", Tag{udType})(
                                       "index", index)("region", itlRegionTag)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    if (!data) return done(nilHandleErr);
    qte::UserDataItem* item = ud->find(udType, index);
    std::vector<TextRecord> records;
    if (!item || !textRecords(item->data, records)) return done(userDataItemNotFound);
    for (const TextRecord& r : records) {
      if (r.language != static_cast<uint16_t>(itlRegionTag)) continue;
      SetHandleSize(data, static_cast<Size>(r.size - 4));
      if (MemError() != noErr) return done(MemError());
      if (r.size > 4) std::memcpy(*data, item->data.data() + r.at + 4, r.size - 4);
      return done(noErr);
    }
    return done(userDataItemNotFound);
  };
}

OSErr AddUserDataText(UserData theUserData, Handle data, OSType udType, SInt32 index, short itlRegionTag) {
  QTE_CALL_ERR("AddUserDataText", a_.object("userData", theUserData)("data", data)("type", Tag{udType})(
                                       "index", index)("region", itlRegionTag)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    if (!data) return done(nilHandleErr);
    Size len = GetHandleSize(data);
    if (len > 0xFFFF || udType == 0) return done(paramErr);
    Bytes record{uint8_t(len >> 8), uint8_t(len), uint8_t(uint16_t(itlRegionTag) >> 8), uint8_t(itlRegionTag)};
    record.insert(record.end(), reinterpret_cast<const uint8_t*>(*data), reinterpret_cast<const uint8_t*>(*data) + len);

    qte::UserDataItem* item = ud->find(udType, index);
    if (!item) {
      // A text item is only created as the first of its type.
      if (index != 1 || ud->count(udType) != 0) return done(userDataItemNotFound);
      ud->items.push_back({udType, std::move(record)});
      return done(noErr);
    }
    std::vector<TextRecord> records;
    if (!textRecords(item->data, records)) return done(paramErr);
    for (const TextRecord& r : records) {
      if (r.language != static_cast<uint16_t>(itlRegionTag)) continue;
      item->data.erase(item->data.begin() + static_cast<long>(r.at),
                       item->data.begin() + static_cast<long>(r.at + r.size));
      item->data.insert(item->data.begin() + static_cast<long>(r.at), record.begin(), record.end());
      return done(noErr);
    }
    item->data.insert(item->data.end(), record.begin(), record.end());
    return done(noErr);
  };
}

OSErr RemoveUserDataText(UserData theUserData, OSType udType, SInt32 index, short itlRegionTag) {
  QTE_CALL_ERR("RemoveUserDataText",
                a_.object("userData", theUserData)("type", Tag{udType})("index", index)("region", itlRegionTag)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    long p = ud->position(udType, index);
    std::vector<TextRecord> records;
    if (p < 0 || !textRecords(ud->items[static_cast<size_t>(p)].data, records)) return done(userDataItemNotFound);
    Bytes& item = ud->items[static_cast<size_t>(p)].data;
    for (const TextRecord& r : records) {
      if (r.language != static_cast<uint16_t>(itlRegionTag)) continue;
      item.erase(item.begin() + static_cast<long>(r.at), item.begin() + static_cast<long>(r.at + r.size));
      // The item goes with its last record.
      if (item.empty()) ud->items.erase(ud->items.begin() + p);
      return done(noErr);
    }
    return done(userDataItemNotFound);
  };
}

OSErr PutUserDataIntoHandle(UserData theUserData, Handle h) {
  QTE_CALL_ERR("PutUserDataIntoHandle", a_.object("userData", theUserData)("handle", h)) {
    auto* ud = list(theUserData);
    if (!ud) return done(paramErr);
    if (!h) return done(nilHandleErr);
    Bytes flat = ud->flatten();
    SetHandleSize(h, static_cast<Size>(flat.size()));
    if (MemError() != noErr) return done(MemError());
    if (!flat.empty()) std::memcpy(*h, flat.data(), flat.size());
    return done(noErr);
  };
}

OSErr NewUserDataFromHandle(Handle h, UserData* theUserData) {
  QTE_CALL_ERR("NewUserDataFromHandle", a_("handle", h)) {
    if (!theUserData) return done(paramErr);
    *theUserData = nullptr;
    if (!h) return done(nilHandleErr);
    std::vector<qte::UserDataItem> items;
    OSErr err =
        qte::UserDataList::parse(reinterpret_cast<const uint8_t*>(*h), static_cast<size_t>(GetHandleSize(h)), items);
    if (err != noErr) return done(err);
    auto* ud = new qte::UserDataList(false);
    ud->items = std::move(items);
    *theUserData = qte::handleOf<UserData>(ud);
    return done(noErr);
  };
}

}  // extern "C"
