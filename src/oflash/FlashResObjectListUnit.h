#pragma once
// The segments of one Flash sampling run, in the order the sound sampler finished them.
// The list owns its items; references returned by Add and Items stay valid until the item
// is deleted or the list cleared.

#include "oflash/FlashResObjectUnit.h"

#include <memory>
#include <vector>

class TFlashResObjectList {
public:
    TFlashResObjectList() = default;
    virtual ~TFlashResObjectList() = default;
    TFlashResObjectList(const TFlashResObjectList&) = delete;
    TFlashResObjectList& operator=(const TFlashResObjectList&) = delete;

    // Appends a new item with the initial values and returns it.
    TFlashResObject* Add();
    void Clear();
    // Removes and frees the item at Index; throws std::out_of_range for a bad index.
    void Delete(int Index);
    int Count() const { return static_cast<int>(FItems.size()); }
    // Throws std::out_of_range for a bad index rather than reading past the list.
    TFlashResObject* Items(int Index) const;

    // Index of the first item that is the very object Item, or -1.
    virtual int IndexOf(const TFlashResObject* Item) const;

private:
    std::vector<std::unique_ptr<TFlashResObject>> FItems;
};
