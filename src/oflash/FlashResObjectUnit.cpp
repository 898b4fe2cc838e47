#include "oflash/FlashResObjectUnit.h"

#include <stdexcept>

void TCollectionItem::Assign(const TCollectionItem& Source) {
    throw std::invalid_argument(std::string("Cannot assign a ") + Source.ClassName() + " to a " +
                                ClassName());
}

TFlashResObject::TFlashResObject(TFlashResObjectList* Collection) : TCollectionItem(Collection) {}

void TFlashResObject::Assign(const TCollectionItem& Source) {
    auto* other = dynamic_cast<const TFlashResObject*>(&Source);
    if (other == nullptr) {
        TCollectionItem::Assign(Source);
        return;
    }
    if (other == this)
        return;
    SimplingIndex = other->SimplingIndex;
    SoundSimplingSoundPath = other->SoundSimplingSoundPath;
    StartX = other->StartX;
    StartY = other->StartY;
    Pictures = other->Pictures;
}
