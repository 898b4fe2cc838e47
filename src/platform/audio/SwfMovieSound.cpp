#include "platform/audio/SwfMovieSound.h"

#include "platform/audio/PcmConverter.h"
#include "platform/audio/SwfCompressedSound.h"
#include "platform/swf/SwfMovie.h"

#include <algorithm>
#include <cmath>

namespace omm::audio {

namespace {

// Frame rate used when a movie states 0, as the player does.
constexpr double FallbackFrameRate = 12.0;

// Decodes stream blocks one after the other with the state a codec carries across
// blocks (MP3's bit reservoir lives in the decoder).
class StreamBlockDecoder {
public:
    explicit StreamBlockDecoder(const SwfSoundFormat& format) : format_(format) {
        pcm_.format = PcmFormat{format.EffectiveRate(), format.Channels()};
    }

    bool Decode(std::span<const uint8_t> block, std::vector<int16_t>& out, std::string& error) {
        switch (format_.codec) {
        case SwfSoundCodec::PcmNative:
        case SwfSoundCodec::PcmLittleEndian:
            DecodePcm(block, format_, out);
            return true;
        case SwfSoundCodec::Adpcm:
            DecodeSwfAdpcm(block, format_.Channels(), out);
            return true;
        case SwfSoundCodec::Mp3: {
            // SampleCount and SeekSamples precede the frames.
            if (block.size() < 4)
                return true;
            pcm_.samples.clear();
            if (!mp3_.Decode(block.subspan(4), pcm_, error))
                return false;
            out.insert(out.end(), pcm_.samples.begin(), pcm_.samples.end());
            return true;
        }
        case SwfSoundCodec::Nellymoser16k:
        case SwfSoundCodec::Nellymoser8k:
        case SwfSoundCodec::Nellymoser: {
            PcmBuffer part;
            if (!DecodeNellymoser(block, format_.EffectiveRate(), part, error))
                return false;
            out.insert(out.end(), part.samples.begin(), part.samples.end());
            return true;
        }
        default:
            error = "stream sound uses an unsupported codec (" +
                    std::to_string(static_cast<int>(format_.codec)) + ")";
            return false;
        }
    }

    // The format of what Decode produced: MP3 tells its own rate and channels.
    PcmFormat Format() const { return pcm_.format; }

private:
    SwfSoundFormat format_;
    Mp3Decoder mp3_;
    PcmBuffer pcm_; // keeps the MP3 format once known
};

} // namespace

SwfMovieSound::SwfMovieSound(std::shared_ptr<const swf::SwfMovie> movie)
    : movie_(std::move(movie)) {}

std::shared_ptr<const PcmBuffer> SwfMovieSound::Sound(uint16_t id) {
    if (auto it = sounds_.find(id); it != sounds_.end())
        return it->second;
    std::shared_ptr<const PcmBuffer> result;
    const swf::SwfTag* tag = movie_->DefinitionTag(id);
    if (tag == nullptr || tag->code != swf::TagDefineSound) {
        lastError_ = "no sound with id " + std::to_string(id);
    } else {
        SwfDefinedSound sound;
        PcmBuffer pcm;
        std::string error;
        if (ParseDefineSound(tag->body, sound, error) && DecodeDefinedSound(sound, pcm, error)) {
            if (pcm.frames() > 0 && pcm.format.valid())
                result = std::make_shared<const PcmBuffer>(convertBuffer(pcm, MixFormat));
        } else {
            lastError_ = "sound " + std::to_string(id) + ": " + error;
        }
    }
    sounds_[id] = result;
    return result;
}

std::optional<uint16_t> SwfMovieSound::SoundIdOfClass(const std::string& className) {
    if (!classes_) {
        classes_.emplace();
        for (const swf::SwfTag& tag : movie_->Root().tags) {
            if (tag.code != swf::TagSymbolClass || tag.body.size() < 2)
                continue;
            const auto& b = tag.body;
            size_t pos = 2;
            const int count = b[0] | (b[1] << 8);
            for (int i = 0; i < count && pos + 2 < b.size(); ++i) {
                const uint16_t id = static_cast<uint16_t>(b[pos] | (b[pos + 1] << 8));
                pos += 2;
                const size_t end =
                    std::find(b.begin() + static_cast<std::ptrdiff_t>(pos), b.end(), 0) - b.begin();
                if (end >= b.size())
                    break;
                classes_->emplace(std::string(b.begin() + static_cast<std::ptrdiff_t>(pos),
                                              b.begin() + static_cast<std::ptrdiff_t>(end)),
                                  id);
                pos = end + 1;
            }
        }
    }
    auto it = classes_->find(className);
    if (it == classes_->end())
        return std::nullopt;
    return it->second;
}

const SwfStreamTrack* SwfMovieSound::Stream(uint16_t spriteId) {
    if (auto it = streams_.find(spriteId); it != streams_.end())
        return it->second.get();
    const swf::SwfTimeline* timeline = spriteId == 0 ? &movie_->Root() : movie_->Sprite(spriteId);
    std::unique_ptr<SwfStreamTrack> track;
    if (timeline != nullptr) {
        std::optional<SwfStreamHead> head;
        std::vector<std::vector<std::span<const uint8_t>>> blocks(timeline->FrameCount());
        for (uint32_t f = 0; f < timeline->FrameCount(); ++f) {
            for (const swf::SwfTag* tag : timeline->SoundTagsOfFrame(f)) {
                if ((tag->code == swf::TagSoundStreamHead ||
                     tag->code == swf::TagSoundStreamHead2) &&
                    !head) {
                    SwfStreamHead parsed;
                    std::string error;
                    if (ParseStreamHead(tag->body, parsed, error))
                        head = parsed;
                    else
                        lastError_ = error;
                } else if (tag->code == swf::TagSoundStreamBlock) {
                    blocks[f].push_back(tag->body);
                }
            }
        }
        if (head) {
            double rate = movie_->Header().FrameRate();
            if (rate <= 0)
                rate = FallbackFrameRate;
            std::string error;
            auto built =
                std::make_unique<SwfStreamTrack>(BuildStreamTrack(*head, rate, blocks, error));
            if (!error.empty())
                lastError_ = error;
            if (!built->empty())
                track = std::move(built);
        }
    }
    return (streams_[spriteId] = std::move(track)).get();
}

SwfStreamTrack SwfMovieSound::BuildStreamTrack(
    const SwfStreamHead& head, double frameRate,
    const std::vector<std::vector<std::span<const uint8_t>>>& blocksPerFrame, std::string& error) {
    SwfStreamTrack track;
    StreamBlockDecoder decoder(head.stream);
    std::vector<int16_t> pcm;
    // Where each frame's first block landed, in frames of the decoded format (known once
    // the first block is decoded: MP3 may differ from the header).
    std::vector<size_t> placed(blocksPerFrame.size(), SIZE_MAX);
    PcmFormat format{};
    for (size_t f = 0; f < blocksPerFrame.size(); ++f) {
        for (const auto& block : blocksPerFrame[f]) {
            std::vector<int16_t> part;
            if (!decoder.Decode(block, part, error))
                return track;
            if (part.empty())
                continue;
            format = decoder.Format();
            const size_t channels = static_cast<size_t>(format.channels);
            const size_t have = pcm.size() / channels;
            const double frameSeconds = 1.0 / frameRate;
            const auto due = static_cast<size_t>(
                std::llround(static_cast<double>(f) * frameSeconds * format.sampleRate));
            // Blocks hold whole codec frames, so consecutive blocks wander around their
            // frame's time by up to a frame; only a real gap (a frame or more without
            // sound) is filled with silence so the next block starts on its frame.
            const auto slack = static_cast<size_t>(frameSeconds * format.sampleRate * 1.5);
            if (due > have + slack)
                pcm.resize(due * channels, 0);
            if (placed[f] == SIZE_MAX)
                placed[f] = pcm.size() / channels;
            pcm.insert(pcm.end(), part.begin(), part.end());
        }
    }
    if (pcm.empty() || !format.valid())
        return track;

    size_t skip = 0;
    if (head.stream.codec == SwfSoundCodec::Mp3 && head.latencySeek > 0)
        skip = std::min(static_cast<size_t>(head.latencySeek),
                        pcm.size() / static_cast<size_t>(format.channels));
    auto source = std::make_shared<PcmBuffer>();
    source->format = format;
    source->samples.assign(pcm.begin() + static_cast<std::ptrdiff_t>(skip * format.channels),
                           pcm.end());
    track.frameStart.resize(blocksPerFrame.size());
    for (size_t f = 0; f < blocksPerFrame.size(); ++f) {
        double at = placed[f] != SIZE_MAX ? static_cast<double>(placed[f])
                                          : static_cast<double>(f) / frameRate * format.sampleRate;
        at = std::max(0.0, at - static_cast<double>(skip));
        track.frameStart[f] = std::min(static_cast<size_t>(std::llround(at)), source->frames());
    }
    track.pcm = std::move(source);
    return track;
}

} // namespace omm::audio
