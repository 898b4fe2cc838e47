#include "oflash/FlashResObjectListUnit.h"

#include <stdexcept>
#include <string>

TFlashResObject* TFlashResObjectList::Add() {
    FItems.push_back(std::make_unique<TFlashResObject>(this));
    return FItems.back().get();
}

void TFlashResObjectList::Clear() {
    FItems.clear();
}

void TFlashResObjectList::Delete(int Index) {
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
    FItems.erase(FItems.begin() + Index);
}

TFlashResObject* TFlashResObjectList::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
    return FItems[static_cast<size_t>(Index)].get();
}

int TFlashResObjectList::IndexOf(const TFlashResObject* Item) const {
    for (int i = 0; i < Count(); ++i)
        if (FItems[static_cast<size_t>(i)].get() == Item)
            return i;
    return -1;
}
