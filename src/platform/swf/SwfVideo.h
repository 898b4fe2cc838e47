#pragma once
// Decodes the frames of an embedded video stream (DefineVideoStream with its
// VideoFrame tags) with FFmpeg: Sorenson H.263, screen video 1 and 2, VP6 and VP6 with
// alpha. Frames depend on their predecessors, so going back restarts the decoder at
// the first frame; going on decodes only the frames in between.

#include "platform/swf/SwfCharacters.h"

#include <QImage>

#include <map>
#include <memory>

namespace omm::swf {

class SwfVideoDecoder {
public:
    SwfVideoDecoder(const SwfVideoStream& stream, std::map<uint16_t, const SwfTag*> frames);
    ~SwfVideoDecoder();
    SwfVideoDecoder(const SwfVideoDecoder&) = delete;
    SwfVideoDecoder& operator=(const SwfVideoDecoder&) = delete;

    // The picture of a frame number (the nearest earlier frame that exists); null when
    // the codec is unknown or the data cannot be decoded.
    QImage Frame(uint16_t frameNumber);
    const SwfVideoStream& Stream() const { return stream_; }

private:
    bool Open();
    void Close();
    bool DecodeOne(const SwfTag& tag);

    SwfVideoStream stream_;
    std::map<uint16_t, const SwfTag*> frames_;
    struct Codec;
    std::unique_ptr<Codec> codec_;
    int decodedUpTo_ = -1;
    QImage picture_;
    bool failed_ = false;
};

} // namespace omm::swf
