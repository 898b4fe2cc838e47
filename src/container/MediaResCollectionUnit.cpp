#include "container/MediaResCollectionUnit.h"

TMediaResFileItem& TMediaResFileCollection::AddFile(const std::string& FileName, int Time) {
    auto item = std::make_unique<TMediaResFileItem>();
    item->FileName = FileName;
    item->Time = Time;
    Items_.push_back(std::move(item));
    return *Items_.back();
}

const TMediaResFileItem* TMediaResFileCollection::Items(size_t Index) const {
    return Index < Items_.size() ? Items_[Index].get() : nullptr;
}

TMediaResFileItem* TMediaResFileCollection::Items(size_t Index) {
    return Index < Items_.size() ? Items_[Index].get() : nullptr;
}

void TMediaResFileCollection::Assign(const TMediaResFileCollection& Other) {
    if (&Other == this)
        return;
    Items_.clear();
    Items_.reserve(Other.Items_.size());
    for (const auto& item : Other.Items_)
        Items_.push_back(std::make_unique<TMediaResFileItem>(*item));
}
