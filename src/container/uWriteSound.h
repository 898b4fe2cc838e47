#pragma once
// The sound track: the MP3 file beside the source, copied unchanged after the tables.
// Its start goes into the head; its end is where the frame stream starts.

#include "container/uWriteData.h"

#include <string>

class TWriteFileHead;

class TWriteSound : public TWriteData {
public:
    TWriteSound(TOutStream* Stream, TWriteFileHead& Head, std::string SoundFile);

    void Write() override;

    // True when the sound file was copied into the output. The file is consumed by the
    // conversion, but it is removed only once the whole output is safely in place (by
    // the pipeline), so a failed run never loses the user's sound.
    bool Consumed() const { return Consumed_; }
    const std::string& SoundFile() const { return SoundFile_; }

private:
    TWriteFileHead& Head_;
    std::string SoundFile_;
    bool Consumed_ = false;
};
