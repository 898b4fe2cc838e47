#pragma once
// The frame list: the hand-over point between the acquisition side of an OAVI
// conversion (frame extraction or real-time capture) and the container writers. The
// acquisition side records every frame bitmap with its time and the total duration; the
// head writer reads the count and duration, the image writer the items in order. While
// frames are being encoded the list is only read (worker threads read it concurrently).

#include "container/MediaResCollectionUnit.h"

class TMediaResManager {
public:
    TMediaResFileCollection Files;
    int Duration = 0; // total duration of the video in milliseconds

    TMediaResFileItem& AddFile(const std::string& FileName, int Time) {
        return Files.AddFile(FileName, Time);
    }
    // Removes every item; Duration keeps its value until a new source sets it.
    void Clear() { Files.Clear(); }
    size_t Count() const { return Files.Count(); }
    const TMediaResFileItem* Items(size_t Index) const { return Files.Items(Index); }
    void Assign(const TMediaResManager& Other) { Files.Assign(Other.Files); }
};
