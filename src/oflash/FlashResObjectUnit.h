#pragma once
// One sampled segment of a Flash run: its number, its sound clip, where its pictures go on
// the device screen and the pictures captured while it was recorded.

#include <cstdint>
#include <string>
#include <vector>

class TFlashResObjectList;

// The smallest collection-item base the resource list needs: an item knows the collection
// it belongs to and can take the values of another item.
class TCollectionItem {
public:
    explicit TCollectionItem(TFlashResObjectList* Collection) : FCollection(Collection) {}
    virtual ~TCollectionItem() = default;
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;

    // Copies Source's values into this item. The base knows no values to copy, so any
    // assignment that reaches it is a type mismatch and throws std::invalid_argument.
    virtual void Assign(const TCollectionItem& Source);
    virtual const char* ClassName() const { return "TCollectionItem"; }

    TFlashResObjectList* Collection() const { return FCollection; }

private:
    TFlashResObjectList* FCollection;
};

class TFlashResObject : public TCollectionItem {
public:
    explicit TFlashResObject(TFlashResObjectList* Collection = nullptr);

    // From another TFlashResObject: copies the four values and gives this object its own
    // copy of the picture list. Anything else goes to the base (and fails there).
    void Assign(const TCollectionItem& Source) override;
    const char* ClassName() const override { return "TFlashResObject"; }

    int32_t SimplingIndex = 0;
    std::string SoundSimplingSoundPath;
    int32_t StartX = 0;
    int32_t StartY = 0;
    std::vector<std::string> Pictures;
};
