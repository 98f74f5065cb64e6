#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/IGraphicsStructs.h"

namespace iplug::igraphics {

/** The 64-bit FNV-1a hash of a text. */
uint64_t HashText(const std::string& text);
/** The resource name with the scale appended as "-%.1fx". */
std::string CacheKey(const std::string& name, float scale);

/** How the cache lets go of what it owned: a bitmap a handle still holds lives on with it. */
inline void DisposeCached(std::unique_ptr<APIBitmap> item) {
  APIBitmap::Abandon(item.release());
}
template <typename T>
void DisposeCached(std::unique_ptr<T> item) {
  item.reset();
}

/**
 * A process-wide cache of decoded resources shared by every graphics context of the module:
 * entries keyed by resource name and scale, owned here and handed out as plain pointers. It is
 * emptied when the last context goes. Loading nests cache operations, so the lock is re-entrant;
 * whoever takes both caches' locks takes the bitmap cache's first.
 */
template <typename T>
class ResourceCache {
 public:
  struct Entry {
    uint64_t hash = 0;
    std::string name;
    float scale = 1.f;
    std::unique_ptr<T> item;
  };

  ResourceCache() = default;
  ~ResourceCache() {
    for (Entry& entry : mEntries) DisposeCached(std::move(entry.item));
  }
  ResourceCache(const ResourceCache&) = delete;
  ResourceCache& operator=(const ResourceCache&) = delete;

  std::recursive_mutex& Mutex() { return mMutex; }

  /** The first entry for (name, scale), or null. */
  T* Find(const std::string& name, float scale) {
    std::lock_guard lock(mMutex);
    const uint64_t hash = HashText(Key(name, scale));
    for (const Entry& entry : mEntries)
      if (entry.hash == hash && entry.scale == scale && entry.name == name) return entry.item.get();
    return nullptr;
  }

  T* Add(const std::string& name, float scale, std::unique_ptr<T> item) {
    std::lock_guard lock(mMutex);
    T* raw = item.get();
    mEntries.push_back(Entry{HashText(Key(name, scale)), name, scale, std::move(item)});
    return raw;
  }

  /** Deletes the first entry holding the item; false when none does. */
  bool Remove(const T* item) {
    std::lock_guard lock(mMutex);
    for (auto it = mEntries.begin(); it != mEntries.end(); ++it) {
      if (it->item.get() == item) {
        DisposeCached(std::move(it->item));
        mEntries.erase(it);
        return true;
      }
    }
    return false;
  }

  /** Deletes every entry for which drop(entry) is true; returns how many went. */
  template <typename Drop>
  int RemoveIf(Drop&& drop) {
    std::lock_guard lock(mMutex);
    int removed = 0;
    for (auto it = mEntries.begin(); it != mEntries.end();) {
      if (drop(static_cast<const Entry&>(*it))) {
        DisposeCached(std::move(it->item));
        it = mEntries.erase(it);
        ++removed;
      } else {
        ++it;
      }
    }
    return removed;
  }

  int Size() {
    std::lock_guard lock(mMutex);
    return static_cast<int>(mEntries.size());
  }

  /** Counts a context in; the caller holds the lock. */
  void Attach() { ++mLiveContexts; }
  /** Counts a context out and empties the cache after the last; the caller holds the lock. */
  void Detach() {
    if (--mLiveContexts != 0) return;
    for (Entry& entry : mEntries) DisposeCached(std::move(entry.item));
    mEntries.clear();
  }
  int LiveContexts() {
    std::lock_guard lock(mMutex);
    return mLiveContexts;
  }

  /** "name-2.0x": the text the hash is taken of. */
  static std::string Key(const std::string& name, float scale) { return CacheKey(name, scale); }

 private:
  std::recursive_mutex mMutex;
  int mLiveContexts = 0;
  std::vector<Entry> mEntries;
};

ResourceCache<APIBitmap>& SharedBitmapCache();
ResourceCache<SvgImage>& SharedSvgCache();

/** The order in which scales are tried for a target scale: t, 3, down to t + 1, t - 1 to 1. */
std::vector<int> ScaleSearchOrder(int targetScale);

/** The name a resource made for a scale has: "knob.png", "knob@2x.png", "knob@3x". */
std::string ResourceNameAtScale(const std::string& name, int scale);

}  // namespace iplug::igraphics
