#pragma once
// The sound records of Flash movies: the format byte of DefineSound and SoundStreamHead,
// the sound info of StartSound, and the decoding of sound data into 16-bit PCM.

#include "platform/audio/PcmFormat.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace omm::audio {

enum class SwfSoundCodec : uint8_t {
    PcmNative = 0, // uncompressed, in the byte order of the machine that made it
    Adpcm = 1,
    Mp3 = 2,
    PcmLittleEndian = 3,
    Nellymoser16k = 4,
    Nellymoser8k = 5,
    Nellymoser = 6,
    Speex = 11,
};

// The four bits of rate, width and channels after the codec nibble.
struct SwfSoundFormat {
    SwfSoundCodec codec = SwfSoundCodec::PcmLittleEndian;
    int rate = 5512; // 5512 (5.5 kHz), 11025, 22050 or 44100
    bool sixteenBit = true;
    bool stereo = false;

    static SwfSoundFormat FromByte(uint8_t byte);
    int Channels() const { return stereo ? 2 : 1; }
    // The two Nellymoser variants with a fixed rate override the rate bits.
    int EffectiveRate() const;
};

struct SwfSoundEnvelopePoint {
    uint32_t pos44 = 0; // position in 44.1 kHz samples
    uint16_t left = 32768;
    uint16_t right = 32768;
};

// SOUNDINFO of StartSound and StartSound2.
struct SwfSoundInfo {
    bool syncStop = false;
    bool syncNoMultiple = false;
    bool hasInPoint = false;
    bool hasOutPoint = false;
    bool hasLoops = false;
    uint32_t inPoint44 = 0;
    uint32_t outPoint44 = 0;
    uint16_t loopCount = 1;
    std::vector<SwfSoundEnvelopePoint> envelope;
};

// A DefineSound tag.
struct SwfDefinedSound {
    uint16_t id = 0;
    SwfSoundFormat format;
    uint32_t sampleCount = 0; // per channel
    std::span<const uint8_t> data;
};

// A SoundStreamHead or SoundStreamHead2 tag.
struct SwfStreamHead {
    SwfSoundFormat playback;
    SwfSoundFormat stream;
    uint16_t samplesPerFrame = 0;
    int16_t latencySeek = 0; // MP3 only: samples to drop at the start of the stream
};

// Tag body readers; each returns false with `error` set when the body is too short or
// holds values the player cannot use.
bool ParseDefineSound(std::span<const uint8_t> body, SwfDefinedSound& out, std::string& error);
// Reads the SOUNDINFO at `pos` of `body`; `pos` ends after it.
bool ParseSoundInfo(std::span<const uint8_t> body, size_t& pos, SwfSoundInfo& out,
                    std::string& error);
bool ParseStreamHead(std::span<const uint8_t> body, SwfStreamHead& out, std::string& error);

// Decodes a whole DefineSound into PCM at the sound's own rate and channels. MP3 data
// starts with its SeekSamples value, which is skipped (as a player starting the sound at
// its beginning does). Unsupported codecs (Speex) give an error.
bool DecodeDefinedSound(const SwfDefinedSound& sound, PcmBuffer& out, std::string& error);

// Uncompressed data: 8-bit is unsigned, 16-bit little-endian (the native order of every
// machine that wrote such movies). A trailing partial sample is ignored.
void DecodePcm(std::span<const uint8_t> data, const SwfSoundFormat& format,
               std::vector<int16_t>& out);

// Flash ADPCM: a 2-bit code size (2 to 5 bits per sample), then packets of 4096 samples
// per channel, each starting with a 16-bit sample and a 6-bit step index per channel.
// Appends what it decodes; a packet cut short yields the samples read so far.
void DecodeSwfAdpcm(std::span<const uint8_t> data, int channels, std::vector<int16_t>& out);

} // namespace omm::audio
