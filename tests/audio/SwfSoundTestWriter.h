#pragma once
// Builds small uncompressed Flash movies with sound for the tests: event sounds
// (DefineSound, StartSound with sound info), stream sound (SoundStreamHead and one
// SoundStreamBlock per frame) and the stop action.

#include <cstdint>
#include <string>
#include <vector>

namespace omm::test {

// The sound info of a StartSound; negative values leave a field out.
struct SoundInfoSpec {
    bool stop = false, noMultiple = false;
    int64_t inPoint = -1, outPoint = -1;
    int loops = -1;
};

class SwfSoundTestWriter {
public:
    SwfSoundTestWriter(double frameRate, int width = 240, int height = 120)
        : rate_(frameRate), width_(width), height_(height) {}

    // DefineSound: format byte = codec << 4 | rateCode << 2 | 16-bit << 1 | stereo.
    void DefineSound(uint16_t id, int codec, int rateCode, bool sixteen, bool stereo,
                     uint32_t sampleCount, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> b;
        put16(b, id);
        b.push_back(formatByte(codec, rateCode, sixteen, stereo));
        put32(b, sampleCount);
        b.insert(b.end(), data.begin(), data.end());
        tag(14, b);
    }

    void StartSound(uint16_t id, const SoundInfoSpec& info = {}) {
        std::vector<uint8_t> b;
        put16(b, id);
        uint8_t flags = 0;
        if (info.stop)
            flags |= 0x20;
        if (info.noMultiple)
            flags |= 0x10;
        if (info.loops >= 0)
            flags |= 0x04;
        if (info.outPoint >= 0)
            flags |= 0x02;
        if (info.inPoint >= 0)
            flags |= 0x01;
        b.push_back(flags);
        if (info.inPoint >= 0)
            put32(b, static_cast<uint32_t>(info.inPoint));
        if (info.outPoint >= 0)
            put32(b, static_cast<uint32_t>(info.outPoint));
        if (info.loops >= 0)
            put16(b, static_cast<uint16_t>(info.loops));
        tag(15, b);
    }

    // Exports sound `id` under an ActionScript class name (SymbolClass).
    void ExportClass(uint16_t id, const std::string& name) {
        std::vector<uint8_t> b;
        put16(b, 1);
        put16(b, id);
        b.insert(b.end(), name.begin(), name.end());
        b.push_back(0);
        tag(76, b);
    }
    // StartSound2: the sound by class name, with an empty sound info.
    void StartSoundByClass(const std::string& name) {
        std::vector<uint8_t> b(name.begin(), name.end());
        b.push_back(0);
        b.push_back(0);
        tag(89, b);
    }

    void StreamHead(int codec, int rateCode, bool sixteen, bool stereo, uint16_t samplesPerFrame) {
        std::vector<uint8_t> b;
        b.push_back(formatByte(0, rateCode, sixteen, stereo));
        b.push_back(formatByte(codec, rateCode, sixteen, stereo));
        put16(b, samplesPerFrame);
        if (codec == 2)
            put16(b, 0);
        tag(45, b);
    }
    void StreamBlock(const std::vector<uint8_t>& data) { tag(19, data); }
    void Stop() { tag(12, {0x07, 0x00}); }
    void ShowFrame() {
        tag(1, {});
        ++frames_;
    }

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out = {'F', 'W', 'S', 8, 0, 0, 0, 0};
        // Stage rectangle with 16-bit fields.
        const int nbits = 16;
        std::vector<int> fields = {0, width_ * 20, 0, height_ * 20};
        uint64_t acc = nbits;
        int used = 5;
        std::vector<uint8_t> rect;
        for (int v : fields) {
            acc = (acc << nbits) | (static_cast<uint64_t>(v) & ((1u << nbits) - 1));
            used += nbits;
            while (used >= 8) {
                rect.push_back(static_cast<uint8_t>(acc >> (used - 8)));
                used -= 8;
            }
        }
        if (used > 0)
            rect.push_back(static_cast<uint8_t>(acc << (8 - used)));
        out.insert(out.end(), rect.begin(), rect.end());
        const auto fixed = static_cast<uint16_t>(rate_ * 256);
        put16(out, fixed);
        put16(out, static_cast<uint16_t>(frames_));
        out.insert(out.end(), body_.begin(), body_.end());
        out.insert(out.end(), {0, 0}); // End
        const auto length = static_cast<uint32_t>(out.size());
        for (int i = 0; i < 4; ++i)
            out[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
        return out;
    }

    static std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
        std::vector<uint8_t> b;
        for (int16_t s : samples)
            put16(b, static_cast<uint16_t>(s));
        return b;
    }

private:
    static uint8_t formatByte(int codec, int rateCode, bool sixteen, bool stereo) {
        return static_cast<uint8_t>(codec << 4 | rateCode << 2 | (sixteen ? 2 : 0) |
                                    (stereo ? 1 : 0));
    }
    static void put16(std::vector<uint8_t>& b, uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    }
    static void put32(std::vector<uint8_t>& b, uint32_t v) {
        put16(b, static_cast<uint16_t>(v));
        put16(b, static_cast<uint16_t>(v >> 16));
    }
    void tag(uint16_t code, const std::vector<uint8_t>& data) {
        if (data.size() < 63) {
            put16(body_, static_cast<uint16_t>(code << 6 | data.size()));
        } else {
            put16(body_, static_cast<uint16_t>(code << 6 | 0x3F));
            put32(body_, static_cast<uint32_t>(data.size()));
        }
        body_.insert(body_.end(), data.begin(), data.end());
    }

    double rate_;
    int width_, height_;
    int frames_ = 0;
    std::vector<uint8_t> body_;
};

} // namespace omm::test
