#include "platform/audio/SwfSoundFormat.h"

#include "platform/audio/SwfCompressedSound.h"

#include <algorithm>
#include <array>

namespace omm::audio {

namespace {

constexpr std::array<int, 4> RateByCode = {5512, 11025, 22050, 44100};

uint16_t u16(std::span<const uint8_t> b, size_t pos) {
    return static_cast<uint16_t>(b[pos] | (b[pos + 1] << 8));
}

uint32_t u32(std::span<const uint8_t> b, size_t pos) {
    return static_cast<uint32_t>(b[pos]) | (static_cast<uint32_t>(b[pos + 1]) << 8) |
           (static_cast<uint32_t>(b[pos + 2]) << 16) | (static_cast<uint32_t>(b[pos + 3]) << 24);
}

// Most-significant-bit-first reader over the ADPCM bit stream.
class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}
    size_t left() const { return data_.size() * 8 - pos_; }
    uint32_t read(int bits) {
        uint32_t value = 0;
        for (int i = 0; i < bits; ++i) {
            const uint8_t byte = data_[pos_ >> 3];
            value = (value << 1) | ((byte >> (7 - (pos_ & 7))) & 1u);
            ++pos_;
        }
        return value;
    }
    int32_t readSigned(int bits) {
        const uint32_t value = read(bits);
        const uint32_t sign = 1u << (bits - 1);
        return static_cast<int32_t>((value ^ sign)) - static_cast<int32_t>(sign);
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

constexpr std::array<int, 89> StepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Step-index changes by the magnitude of a code, one table per code size (2 to 5 bits).
const int IndexTable2[] = {-1, 2};
const int IndexTable3[] = {-1, -1, 2, 4};
const int IndexTable4[] = {-1, -1, -1, -1, 2, 4, 6, 8};
const int IndexTable5[] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
const int* const IndexTables[] = {IndexTable2, IndexTable3, IndexTable4, IndexTable5};

struct AdpcmChannel {
    int32_t predictor = 0;
    int stepIndex = 0;

    int16_t decode(uint32_t code, int bits) {
        const uint32_t signMask = 1u << (bits - 1);
        int step = StepTable[static_cast<size_t>(stepIndex)];
        // delta = (magnitude + 0.5) * step / 2^(bits-2), added bit by bit as the format
        // defines it, so rounding matches every other decoder.
        int delta = 0;
        for (uint32_t k = signMask >> 1; k != 0; k >>= 1) {
            if (code & k)
                delta += step;
            step >>= 1;
        }
        delta += step;
        predictor += (code & signMask) ? -delta : delta;
        predictor = std::clamp(predictor, -32768, 32767);
        stepIndex += IndexTables[bits - 2][code & (signMask - 1)];
        stepIndex = std::clamp(stepIndex, 0, 88);
        return static_cast<int16_t>(predictor);
    }
};

constexpr int AdpcmPacketFrames = 4096;

} // namespace

SwfSoundFormat SwfSoundFormat::FromByte(uint8_t byte) {
    SwfSoundFormat f;
    f.codec = static_cast<SwfSoundCodec>(byte >> 4);
    f.rate = RateByCode[(byte >> 2) & 3];
    f.sixteenBit = (byte & 2) != 0;
    f.stereo = (byte & 1) != 0;
    return f;
}

int SwfSoundFormat::EffectiveRate() const {
    if (codec == SwfSoundCodec::Nellymoser16k)
        return 16000;
    if (codec == SwfSoundCodec::Nellymoser8k)
        return 8000;
    return rate;
}

bool ParseDefineSound(std::span<const uint8_t> body, SwfDefinedSound& out, std::string& error) {
    if (body.size() < 7) {
        error = "DefineSound tag too short";
        return false;
    }
    out.id = u16(body, 0);
    out.format = SwfSoundFormat::FromByte(body[2]);
    out.sampleCount = u32(body, 3);
    out.data = body.subspan(7);
    return true;
}

bool ParseSoundInfo(std::span<const uint8_t> body, size_t& pos, SwfSoundInfo& out,
                    std::string& error) {
    auto need = [&](size_t n) {
        if (pos + n <= body.size())
            return true;
        error = "sound info cut short";
        return false;
    };
    if (!need(1))
        return false;
    const uint8_t flags = body[pos++];
    out.syncStop = (flags & 0x20) != 0;
    out.syncNoMultiple = (flags & 0x10) != 0;
    const bool hasEnvelope = (flags & 0x08) != 0;
    out.hasLoops = (flags & 0x04) != 0;
    out.hasOutPoint = (flags & 0x02) != 0;
    out.hasInPoint = (flags & 0x01) != 0;
    if (out.hasInPoint) {
        if (!need(4))
            return false;
        out.inPoint44 = u32(body, pos);
        pos += 4;
    }
    if (out.hasOutPoint) {
        if (!need(4))
            return false;
        out.outPoint44 = u32(body, pos);
        pos += 4;
    }
    if (out.hasLoops) {
        if (!need(2))
            return false;
        out.loopCount = u16(body, pos);
        pos += 2;
    }
    if (hasEnvelope) {
        if (!need(1))
            return false;
        const int points = body[pos++];
        if (!need(static_cast<size_t>(points) * 8))
            return false;
        for (int i = 0; i < points; ++i) {
            SwfSoundEnvelopePoint p;
            p.pos44 = u32(body, pos);
            p.left = u16(body, pos + 4);
            p.right = u16(body, pos + 6);
            pos += 8;
            out.envelope.push_back(p);
        }
    }
    return true;
}

bool ParseStreamHead(std::span<const uint8_t> body, SwfStreamHead& out, std::string& error) {
    if (body.size() < 4) {
        error = "SoundStreamHead tag too short";
        return false;
    }
    out.playback = SwfSoundFormat::FromByte(body[0]);
    out.stream = SwfSoundFormat::FromByte(body[1]);
    out.samplesPerFrame = u16(body, 2);
    out.latencySeek = 0;
    if (out.stream.codec == SwfSoundCodec::Mp3 && body.size() >= 6)
        out.latencySeek = static_cast<int16_t>(u16(body, 4));
    return true;
}

void DecodePcm(std::span<const uint8_t> data, const SwfSoundFormat& format,
               std::vector<int16_t>& out) {
    if (format.sixteenBit) {
        for (size_t i = 0; i + 1 < data.size(); i += 2)
            out.push_back(static_cast<int16_t>(u16(data, i)));
    } else {
        for (uint8_t byte : data)
            out.push_back(static_cast<int16_t>((static_cast<int>(byte) - 128) << 8));
    }
    // A stereo sound cut in the middle of a frame keeps whole frames only.
    if (format.stereo && out.size() % 2 != 0)
        out.pop_back();
}

void DecodeSwfAdpcm(std::span<const uint8_t> data, int channels, std::vector<int16_t>& out) {
    if (channels < 1 || channels > 2)
        return;
    BitReader bits(data);
    if (bits.left() < 2)
        return;
    const int codeBits = static_cast<int>(bits.read(2)) + 2;
    const size_t headerBits = 22 * static_cast<size_t>(channels);
    const size_t frameBits = static_cast<size_t>(codeBits * channels);
    AdpcmChannel state[2];
    while (bits.left() >= headerBits) {
        for (int c = 0; c < channels; ++c) {
            state[c].predictor = bits.readSigned(16);
            state[c].stepIndex = static_cast<int>(bits.read(6));
            out.push_back(static_cast<int16_t>(state[c].predictor));
        }
        for (int n = 1; n < AdpcmPacketFrames && bits.left() >= frameBits; ++n)
            for (int c = 0; c < channels; ++c)
                out.push_back(state[c].decode(bits.read(codeBits), codeBits));
    }
}

bool DecodeDefinedSound(const SwfDefinedSound& sound, PcmBuffer& out, std::string& error) {
    const SwfSoundFormat& f = sound.format;
    out.format = PcmFormat{f.EffectiveRate(), f.Channels()};
    out.samples.clear();
    switch (f.codec) {
    case SwfSoundCodec::PcmNative:
    case SwfSoundCodec::PcmLittleEndian:
        DecodePcm(sound.data, f, out.samples);
        break;
    case SwfSoundCodec::Adpcm:
        DecodeSwfAdpcm(sound.data, f.Channels(), out.samples);
        break;
    case SwfSoundCodec::Mp3: {
        if (sound.data.size() < 2) {
            error = "MP3 sound " + std::to_string(sound.id) + " has no data";
            return false;
        }
        Mp3Decoder decoder;
        if (!decoder.Decode(sound.data.subspan(2), out, error))
            return false;
        break;
    }
    case SwfSoundCodec::Nellymoser16k:
    case SwfSoundCodec::Nellymoser8k:
    case SwfSoundCodec::Nellymoser:
        if (!DecodeNellymoser(sound.data, f.EffectiveRate(), out, error))
            return false;
        break;
    default:
        error = "sound " + std::to_string(sound.id) + " uses an unsupported codec (" +
                std::to_string(static_cast<int>(f.codec)) + ")";
        return false;
    }
    // The declared count trims decoder padding (ADPCM's last packet, MP3's last frame).
    const size_t declared = static_cast<size_t>(sound.sampleCount) * out.format.channels;
    if (declared > 0 && out.samples.size() > declared && f.codec != SwfSoundCodec::Mp3)
        out.samples.resize(declared);
    return true;
}

} // namespace omm::audio
