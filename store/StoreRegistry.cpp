#include "store/Store.h"

namespace quillmar {

namespace {
// The process-wide registry while it exists; null again once it is destroyed
// at exit, so a store that outlives it (held by another static object) leaves
// it alone.
StoreRegistry* liveRegistry = nullptr;
} // namespace

StoreRegistry& storeRegistry() {
    static StoreRegistry registry;
    liveRegistry = &registry;
    return registry;
}

StoreRegistry* storeRegistryIfAlive() {
    return liveRegistry;
}

StoreRegistry::~StoreRegistry() {
    shutdown();
    if (liveRegistry == this) liveRegistry = nullptr;
}

std::size_t StoreRegistry::count() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

bool StoreRegistry::contains(const TStore* store) const {
    std::lock_guard lock(mutex_);
    for (const TStoreItem& item : items_)
        if (item.Store == store) return true;
    return false;
}

std::vector<TStore*> StoreRegistry::stores() const {
    std::lock_guard lock(mutex_);
    std::vector<TStore*> out;
    out.reserve(items_.size());
    for (const TStoreItem& item : items_)
        out.push_back(item.Store);
    return out;
}

TStore* StoreRegistry::adopt(std::unique_ptr<TStore> store) {
    TStore* raw = store.get();
    if (!raw) return nullptr;
    std::lock_guard lock(mutex_);
    if (raw->RegistryItem) raw->RegistryItem->Owned = true;
    adopted_.push_back(std::move(store));
    return raw;
}

std::size_t StoreRegistry::shutdown() {
    // Free the adopted stores in the order they entered the registry; each
    // destructor removes its own entry. The lock is not held while they run.
    for (;;) {
        std::unique_ptr<TStore> victim;
        {
            std::lock_guard lock(mutex_);
            for (const TStoreItem& item : items_) {
                if (!item.Owned) continue;
                for (auto& owned : adopted_) {
                    if (owned.get() == item.Store) {
                        victim = std::move(owned);
                        break;
                    }
                }
                break;
            }
            if (!victim) {
                adopted_.clear(); // only empty slots are left
                return items_.size();
            }
            std::erase_if(adopted_, [](const std::unique_ptr<TStore>& p) { return !p; });
        }
        victim.reset();
    }
}

TStoreItem* StoreRegistry::enter(TStore* store, std::list<TStoreItem>::iterator& where) {
    std::lock_guard lock(mutex_);
    where = items_.insert(items_.end(), TStoreItem{store, false});
    return &*where;
}

void StoreRegistry::leave(std::list<TStoreItem>::iterator where) {
    std::lock_guard lock(mutex_);
    items_.erase(where);
}

} // namespace quillmar
