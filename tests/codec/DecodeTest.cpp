// The record decoders on hand-made and damaged records: every problem is reported with
// its byte offset, nothing is read outside the record.

#include <gtest/gtest.h>

#include <random>

#include "codec/CodecPictures.h"
#include "codec/uGraphicCompress_LM41.h"
#include "codec/uGraphicCompress_LM52.h"
#include "codec/uGraphicCompress_LM52A.h"
#include "codec/uGraphicDecode.h"

namespace {

std::vector<uint8_t> Record(std::vector<uint8_t> Payload, uint8_t Type) {
    std::vector<uint8_t> R = {0xFF, 0x02, 0, 0, 0, 0, 0xFF, 0x04, Type};
    R.insert(R.end(), Payload.begin(), Payload.end());
    R.push_back(0xFF);
    R.push_back(0x01);
    const uint32_t L = uint32_t(R.size());
    for (int I = 0; I < 4; ++I)
        R[2 + size_t(I)] = uint8_t(L >> (8 * I));
    return R;
}

size_t ErrorOffset(TCodecKind Codec, const std::vector<uint8_t>& R, int W, int H,
                   const TBitmap* Prev, std::string* Message = nullptr) {
    try {
        DecodeFrameRecord(Codec, R, W, H, Prev);
    } catch (const TDecodeError& E) {
        if (Message)
            *Message = E.what();
        return E.Offset();
    }
    return size_t(-1);
}

TEST(Decode, LM41KeyAndDelta) {
    const auto Key = Record({0x0F, 0xA5}, 0);
    TDecodedFrame F = DecodeFrameRecord(TCodecKind::LM41, Key, 2, 2, nullptr);
    EXPECT_EQ(F.Type, TFrameType::Key);
    const uint8_t Expected[4] = {0, 255, 170, 85};
    for (int N = 0; N < 4; ++N)
        EXPECT_EQ(codectest::PixelAt(F.Picture, N)[1], Expected[N]);
    const auto Delta = Record({0xFF, 0x03, 0x00, 0x02, 0x01}, 1);
    const TDecodedFrame G = DecodeFrameRecord(TCodecKind::LM41, Delta, 2, 2, &F.Picture);
    EXPECT_EQ(codectest::PixelAt(G.Picture, 2)[0], 17);
    EXPECT_EQ(codectest::PixelAt(G.Picture, 3)[0], 85);
    EXPECT_FALSE(G.Unchanged);
    EXPECT_TRUE(DecodeFrameRecord(TCodecKind::LM41, Record({}, 1), 2, 2, &G.Picture).Unchanged);
}

TEST(Decode, LM52GroupsAcrossBlockEnd) {
    // 300 pixels; group of 3 starting at offset 253 of block 0 runs into block 1.
    const auto R = Record({0xFF, 0x03, 0x00, 0xFD, 0xFF, 0xFF, 0x20, 0xF8, 0x00, 0xF8}, 1);
    const TBitmap Black(300, 1);
    const TDecodedFrame F = DecodeFrameRecord(TCodecKind::LM52, R, 300, 1, &Black);
    EXPECT_EQ(codectest::PixelAt(F.Picture, 253)[0], 255);
    EXPECT_EQ(codectest::PixelAt(F.Picture, 254)[2], 255);
    EXPECT_EQ(codectest::PixelAt(F.Picture, 255)[2], 255);
    EXPECT_EQ(codectest::PixelAt(F.Picture, 256)[2], 0);
    EXPECT_EQ(codectest::PixelAt(F.Picture, 252)[2], 0);
}

TEST(Decode, DamagedLM41RecordsNameTheOffset) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Payload;
        uint8_t Type;
        size_t Offset;
    };
    const Case Cases[] = {
        {"short key", {0x00}, 0, 10},
        {"long key", {0x00, 0x00, 0x00}, 0, 11},
        {"change before mark", {0x01, 0x02}, 1, 9},
        {"offset 254", {0xFF, 0x03, 0x00, 0xFE, 0x01}, 1, 12},
        {"pixel outside", {0xFF, 0x03, 0x01, 0x00, 0x01}, 1, 12},
        {"level 16", {0xFF, 0x03, 0x00, 0x00, 0x10}, 1, 13},
        {"cut change", {0xFF, 0x03, 0x00, 0x00}, 1, 13},
        {"bad mark", {0xFF, 0x07, 0x00}, 1, 9},
        {"cut mark", {0xFF, 0x03}, 1, 11},
        {"block back", {0xFF, 0x03, 0x01, 0xFF, 0x03, 0x00}, 1, 12},
        {"type 3", {}, 3, 8},
    };
    for (const Case& C : Cases) {
        std::string Message;
        EXPECT_EQ(ErrorOffset(TCodecKind::LM41, Record(C.Payload, C.Type), 4, 1, nullptr, &Message),
                  C.Offset)
            << C.Name << ": " << Message;
    }
}

TEST(Decode, DamagedLM52RecordsNameTheOffset) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Payload;
        uint8_t Type;
        size_t Offset;
    };
    const Case Cases[] = {
        {"runs too short", {0x00, 0x00}, 0, 11},
        {"run too long", {0x20, 0x00, 0x05, 0x00}, 0, 9},
        {"run of zero", {0x20, 0x00, 0x00, 0x00}, 0, 9},
        {"cut run length", {0x00, 0x00, 0x20, 0x00, 0x01}, 0, 13},
        {"odd byte", {0x20, 0x00, 0x03, 0x00, 0x01}, 0, 13},
        {"group runs off the end", {0xFF, 0x03, 0x00, 0x03, 0x20, 0x00, 0x00, 0x00}, 1, 15},
        {"group before mark", {0x00, 0x00, 0x00}, 1, 9},
        {"group cut", {0xFF, 0x03, 0x00, 0x00, 0x20, 0x00}, 1, 15},
        {"overlapping groups", {0xFF, 0x03, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00}, 1, 15},
    };
    for (const Case& C : Cases) {
        std::string Message;
        EXPECT_EQ(ErrorOffset(TCodecKind::LM52, Record(C.Payload, C.Type), 4, 1, nullptr, &Message),
                  C.Offset)
            << C.Name << ": " << Message;
    }
}

TEST(Decode, BrokenFramingIsReported) {
    auto R = Record({0x00, 0x00}, 0);
    auto Bad = R;
    Bad[1] = 0x09;
    EXPECT_THROW(DecodeFrameRecord(TCodecKind::LM41, Bad, 2, 2, nullptr), TDecodeError);
    Bad = R;
    Bad[7] = 0x05;
    EXPECT_EQ(ErrorOffset(TCodecKind::LM41, Bad, 2, 2, nullptr), 6u);
    Bad = R;
    Bad[R.size() - 1] = 0x05;
    EXPECT_EQ(ErrorOffset(TCodecKind::LM41, Bad, 2, 2, nullptr), R.size() - 2);
    Bad = R;
    Bad[2] = 200; // length beyond the bytes
    EXPECT_EQ(ErrorOffset(TCodecKind::LM41, Bad, 2, 2, nullptr), 2u);
    Bad = R;
    Bad[2] = 5; // length shorter than a record can be
    EXPECT_EQ(ErrorOffset(TCodecKind::LM41, Bad, 2, 2, nullptr), 2u);
    // Stream helpers: end marks and a cut head.
    EXPECT_EQ(FrameRecordLength(TCodecKind::LM52, std::vector<uint8_t>{0xFF, 0x05}), 0u);
    EXPECT_EQ(FrameRecordLength(TCodecKind::LM63, std::vector<uint8_t>{0, 0, 0, 0}), 0u);
    EXPECT_THROW(FrameRecordLength(TCodecKind::LM52, std::vector<uint8_t>{0xFF, 0x02, 1}),
                 TDecodeError);
    EXPECT_THROW(FrameRecordLength(TCodecKind::LM63, std::vector<uint8_t>{9, 0, 0}), TDecodeError);
    EXPECT_THROW(FrameRecordLength(TCodecKind::LM63, std::vector<uint8_t>{50, 0, 0, 0, 1}),
                 TDecodeError);
}

TEST(Decode, DamagedJpegRecords) {
    auto R = codectest::CompressOne(*std::make_unique<TGraphicCompress_LM52A>(),
                                    codectest::MovingBlocks(64, 48, 2));
    std::string Message;
    // Wrong frame size.
    EXPECT_EQ(ErrorOffset(TCodecKind::LM63, R, 32, 48, nullptr, &Message), 4u);
    EXPECT_NE(Message.find("64 x 48"), std::string::npos) << Message;
    // Not a JPEG.
    auto Bad = R;
    Bad[4] = 0;
    EXPECT_EQ(ErrorOffset(TCodecKind::LM63, Bad, 64, 48, nullptr), 4u);
    // Scan data cut short (end-of-image marker kept): libjpeg warns and fills; header cut:
    // an error, never a crash.
    Bad = R;
    Bad.erase(Bad.begin() + 30, Bad.end() - 2);
    const uint32_t L = uint32_t(Bad.size());
    for (int I = 0; I < 4; ++I)
        Bad[size_t(I)] = uint8_t(L >> (8 * I));
    EXPECT_THROW(DecodeFrameRecord(TCodecKind::LM63, Bad, 64, 48, nullptr), TDecodeError);
}

// Random damage to valid records of every codec: a decoded picture or a TDecodeError,
// nothing else (the sanitizer build watches the memory accesses).
TEST(Decode, RandomlyDamagedRecordsNeverCrash) {
    std::mt19937 Rng(1234);
    std::vector<TBitmap> Frames;
    for (int I = 0; I < 4; ++I)
        Frames.push_back(codectest::MovingBlocks(48, 32, I));
    struct Source {
        TCodecKind Codec;
        std::vector<uint8_t> Bytes;
    };
    TGraphicCompress_LM41 L41;
    TGraphicCompress_LM52 L52;
    TGraphicCompress_LM52A L63;
    const Source Sources[] = {{TCodecKind::LM41, codectest::CompressAll(L41, Frames)},
                              {TCodecKind::LM52, codectest::CompressAll(L52, Frames)},
                              {TCodecKind::LM63, codectest::CompressAll(L63, Frames)}};
    int Errors = 0, Decoded = 0;
    for (const Source& S : Sources) {
        const auto Records = codectest::SplitRecords(S.Codec, S.Bytes);
        for (int Trial = 0; Trial < 300; ++Trial) {
            const auto& Original = Records[size_t(Trial) % Records.size()];
            std::vector<uint8_t> R(Original.begin(), Original.end());
            const int Kind = int(Rng() % 3);
            if (Kind == 0 && R.size() > 1) {
                R.resize(Rng() % R.size());
            } else {
                const int Flips = 1 + int(Rng() % 4);
                for (int F = 0; F < Flips; ++F)
                    R[Rng() % R.size()] = uint8_t(Rng());
            }
            const TBitmap Prev = Frames[0];
            try {
                (void)DecodeFrameRecord(S.Codec, R, 48, 32, Trial % 2 ? &Prev : nullptr);
                ++Decoded;
            } catch (const TDecodeError&) {
                ++Errors;
            }
        }
    }
    EXPECT_GT(Errors, 0);
    EXPECT_GT(Decoded, 0);
}

} // namespace
