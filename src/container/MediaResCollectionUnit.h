#pragma once
// The ordered collection behind the frame list: one item per frame bitmap, in frame
// order (frame i of the video is item i).

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct TMediaResFileItem {
    std::string FileName; // full path of the frame's bitmap file
    int Time = 0;         // milliseconds from the start of the video
    int Reserved = 0;     // kept at 0; nothing reads it
};

class TMediaResFileCollection {
public:
    // Appends an item and returns it. The reference stays valid until Clear or Assign.
    TMediaResFileItem& AddFile(const std::string& FileName, int Time);
    void Clear() { Items_.clear(); }
    size_t Count() const { return Items_.size(); }
    // The item at Index, or nullptr when Index is outside the collection.
    const TMediaResFileItem* Items(size_t Index) const;
    TMediaResFileItem* Items(size_t Index);
    void Assign(const TMediaResFileCollection& Other);

private:
    // Items are held by pointer so that a reference handed out by AddFile survives
    // later additions.
    std::vector<std::unique_ptr<TMediaResFileItem>> Items_;
};
