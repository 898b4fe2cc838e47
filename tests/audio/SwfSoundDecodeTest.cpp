#include "audio/AudioTestSupport.h"
#include "platform/audio/SwfCompressedSound.h"
#include "platform/audio/SwfMovieSound.h"
#include "platform/audio/SwfSoundFormat.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

using namespace omm::audio;
using omm::test::TempDir;

namespace {

// FFmpeg's own decoding of one packet, as interleaved 16-bit samples.
std::vector<int16_t> ffmpegDecode(AVCodecID id, int rate, int channels,
                                  const std::vector<uint8_t>& data) {
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = rate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    EXPECT_GE(avcodec_open2(ctx, codec, nullptr), 0);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    av_new_packet(pkt, static_cast<int>(data.size()));
    std::copy(data.begin(), data.end(), pkt->data);
    std::vector<int16_t> out;
    if (avcodec_send_packet(ctx, pkt) == 0) {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            EXPECT_EQ(frame->format, AV_SAMPLE_FMT_S16);
            auto* s = reinterpret_cast<const int16_t*>(frame->data[0]);
            out.insert(out.end(), s, s + frame->nb_samples * channels);
            av_frame_unref(frame);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

// FFmpeg's ADPCM encoder: one packet (4096 frames) of a tone.
std::vector<uint8_t> ffmpegAdpcmPacket(int rate, int channels) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_SWF);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = rate;
    ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&ctx->ch_layout, channels);
    EXPECT_GE(avcodec_open2(ctx, codec, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    frame->nb_samples = ctx->frame_size;
    frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
    av_frame_get_buffer(frame, 0);
    auto tone = omm::test::sine(rate, channels, 330, 1.0, 20000);
    std::copy_n(tone.begin(), frame->nb_samples * channels,
                reinterpret_cast<int16_t*>(frame->data[0]));
    AVPacket* pkt = av_packet_alloc();
    std::vector<uint8_t> out;
    EXPECT_EQ(avcodec_send_frame(ctx, frame), 0);
    if (avcodec_receive_packet(ctx, pkt) == 0)
        out.assign(pkt->data, pkt->data + pkt->size);
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

std::vector<uint8_t> bytesOf(const std::vector<unsigned char>& v) {
    return {v.begin(), v.end()};
}

} // namespace

TEST(SwfAdpcm, MatchesFfmpegOnItsOwnEncoding) {
    for (int channels : {1, 2}) {
        const auto packet = ffmpegAdpcmPacket(22050, channels);
        ASSERT_FALSE(packet.empty());
        const auto expected = ffmpegDecode(AV_CODEC_ID_ADPCM_SWF, 22050, channels, packet);
        std::vector<int16_t> got;
        DecodeSwfAdpcm(packet, channels, got);
        ASSERT_EQ(got.size(), expected.size()) << channels << " channels";
        EXPECT_EQ(got, expected) << channels << " channels";
        EXPECT_NEAR(omm::test::zeroCrossingFrequency(got, 22050, channels), 330.0, 1.0);
    }
}

TEST(SwfAdpcm, EveryCodeSizeMatchesFfmpegOnArbitraryData) {
    std::mt19937 random(12345);
    for (int codeBits = 2; codeBits <= 5; ++codeBits) {
        for (int channels : {1, 2}) {
            // Two whole packets and a part of a third.
            const size_t bits = 2 + 2 * (22 * channels + 4095 * codeBits * channels) + 1000;
            std::vector<uint8_t> data((bits + 7) / 8);
            for (auto& b : data)
                b = static_cast<uint8_t>(random());
            data[0] = static_cast<uint8_t>((data[0] & 0x3F) | ((codeBits - 2) << 6));
            const auto expected = ffmpegDecode(AV_CODEC_ID_ADPCM_SWF, 11025, channels, data);
            std::vector<int16_t> got;
            DecodeSwfAdpcm(data, channels, got);
            EXPECT_EQ(got, expected) << codeBits << " bits, " << channels << " channels";
            EXPECT_GT(got.size(), 2u * 4096 * channels);
        }
    }
}

TEST(SwfAdpcm, ShortOrEmptyDataYieldsWhatItHolds) {
    std::vector<int16_t> out;
    DecodeSwfAdpcm({}, 1, out);
    EXPECT_TRUE(out.empty());
    const std::vector<uint8_t> headerOnly = {0x40, 0x12, 0x34};
    DecodeSwfAdpcm(headerOnly, 1, out);
    EXPECT_EQ(out.size(), 1u);          // the initial sample of a packet cut after its header
    DecodeSwfAdpcm(headerOnly, 3, out); // nonsense channel count: nothing
    EXPECT_EQ(out.size(), 1u);
}

TEST(SwfPcm, EightAndSixteenBitMatchFfmpeg) {
    TempDir dir;
    struct Case {
        const char* rawFormat;
        bool sixteen;
        int channels;
    };
    for (const Case& c : {Case{"u8", false, 1}, Case{"u8", false, 2}, Case{"s16le", true, 1},
                          Case{"s16le", true, 2}}) {
        const auto raw = dir / "in.raw";
        const auto ref = dir / "ref.raw";
        const std::string ch = std::to_string(c.channels);
        ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=600:sample_rate=11025",
                                       "-t", "0.5", "-ac", ch, "-f", c.rawFormat, raw.string()}));
        ASSERT_TRUE(omm::test::ffmpeg({"-f", c.rawFormat, "-ar", "11025", "-ac", ch, "-i",
                                       raw.string(), "-f", "s16le", ref.string()}));
        SwfSoundFormat format;
        format.codec = SwfSoundCodec::PcmLittleEndian;
        format.rate = 11025;
        format.sixteenBit = c.sixteen;
        format.stereo = c.channels == 2;
        std::vector<int16_t> got;
        DecodePcm(bytesOf(omm::test::readFile(raw)), format, got);
        const auto refBytes = omm::test::readFile(ref);
        std::vector<int16_t> expected(refBytes.size() / 2);
        std::memcpy(expected.data(), refBytes.data(), expected.size() * 2);
        EXPECT_EQ(got, expected) << c.rawFormat << " " << c.channels;
        EXPECT_NEAR(omm::test::zeroCrossingFrequency(got, 11025, c.channels), 600.0, 2.0);
    }
}

TEST(SwfMp3, DecodesLikeFfmpegAndFindsFramesByTheirHeaders) {
    TempDir dir;
    const auto mp3 = dir / "tone.mp3";
    const auto ref = dir / "ref.raw";
    ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050",
                                   "-t", "1", "-c:a", "libmp3lame", "-b:a", "64k", "-write_xing",
                                   "0", "-id3v2_version", "0", mp3.string()}));
    ASSERT_TRUE(omm::test::ffmpeg({"-i", mp3.string(), "-f", "s16le", ref.string()}));
    const auto data = bytesOf(omm::test::readFile(mp3));
    ASSERT_GT(Mp3FrameLength(data), 0u);

    // Cut into pieces at frame boundaries, as stream blocks are, with junk between.
    std::vector<std::vector<uint8_t>> pieces(1);
    for (size_t pos = 0; pos < data.size();) {
        const size_t len = Mp3FrameLength(std::span(data).subspan(pos));
        ASSERT_GT(len, 0u) << "at " << pos;
        if (pieces.back().size() > 600)
            pieces.emplace_back();
        pieces.back().insert(pieces.back().end(), data.begin() + static_cast<long>(pos),
                             data.begin() + static_cast<long>(pos + len));
        pos += len;
    }
    pieces[0].insert(pieces[0].begin(), {0x00, 0xFF, 0x12});
    Mp3Decoder decoder;
    PcmBuffer got;
    std::string error;
    for (const auto& piece : pieces)
        ASSERT_TRUE(decoder.Decode(piece, got, error)) << error;
    EXPECT_EQ(got.format, (PcmFormat{22050, 1}));
    const auto refBytes = omm::test::readFile(ref);
    std::vector<int16_t> expected(refBytes.size() / 2);
    std::memcpy(expected.data(), refBytes.data(), expected.size() * 2);
    ASSERT_EQ(got.samples.size(), expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        differing += std::abs(got.samples[i] - expected[i]) > 1;
    EXPECT_EQ(differing, 0u);
    EXPECT_NEAR(omm::test::zeroCrossingFrequency(got.samples, 22050, 1), 440.0, 1.0);
}

TEST(SwfSoundRecords, ParsesFormatByteDefineSoundAndSoundInfo) {
    const auto f = SwfSoundFormat::FromByte(0x2E); // MP3, 44 kHz, 16-bit, mono
    EXPECT_EQ(f.codec, SwfSoundCodec::Mp3);
    EXPECT_EQ(f.rate, 44100);
    EXPECT_TRUE(f.sixteenBit);
    EXPECT_FALSE(f.stereo);
    EXPECT_EQ(SwfSoundFormat::FromByte(0x13).rate, 5512);
    EXPECT_EQ(SwfSoundFormat::FromByte(0x50).EffectiveRate(), 8000);

    const std::vector<uint8_t> define = {7, 0, 0x3A, 10, 0, 0, 0, 1, 2, 3};
    SwfDefinedSound sound;
    std::string error;
    ASSERT_TRUE(ParseDefineSound(define, sound, error));
    EXPECT_EQ(sound.id, 7);
    EXPECT_EQ(sound.format.codec, SwfSoundCodec::PcmLittleEndian);
    EXPECT_EQ(sound.format.rate, 22050);
    EXPECT_EQ(sound.sampleCount, 10u);
    EXPECT_EQ(sound.data.size(), 3u);
    EXPECT_FALSE(ParseDefineSound(std::span(define).first(5), sound, error));

    // Every field present: in 100, out 200, 3 loops, one envelope point.
    const std::vector<uint8_t> info = {0x1F, 100, 0, 0, 0, 200, 0, 0,    0, 3,
                                       0,    1,   8, 0, 0, 0,   0, 0x40, 0, 0x80};
    size_t pos = 0;
    SwfSoundInfo si;
    ASSERT_TRUE(ParseSoundInfo(info, pos, si, error)) << error;
    EXPECT_EQ(pos, info.size());
    EXPECT_TRUE(si.syncNoMultiple);
    EXPECT_FALSE(si.syncStop);
    EXPECT_EQ(si.inPoint44, 100u);
    EXPECT_EQ(si.outPoint44, 200u);
    EXPECT_EQ(si.loopCount, 3);
    ASSERT_EQ(si.envelope.size(), 1u);
    EXPECT_EQ(si.envelope[0].pos44, 8u);
    EXPECT_EQ(si.envelope[0].left, 0x4000);
    EXPECT_EQ(si.envelope[0].right, 0x8000);
    for (size_t cut = 1; cut < info.size(); ++cut) {
        size_t p = 0;
        SwfSoundInfo part;
        EXPECT_FALSE(ParseSoundInfo(std::span(info).first(cut), p, part, error)) << cut;
    }
}

TEST(SwfStreamTrack, PlacesEachFramesBlockOnItsFrameAndFillsGaps) {
    // 16-bit mono PCM at 11025 Hz, 10 frames per second: 1102 or 1103 samples a frame.
    SwfStreamHead head;
    head.stream.codec = SwfSoundCodec::PcmLittleEndian;
    head.stream.rate = 11025;
    head.stream.sixteenBit = true;
    std::vector<std::vector<uint8_t>> storage;
    std::vector<std::vector<std::span<const uint8_t>>> blocks(10);
    for (int f = 0; f < 10; ++f) {
        if (f >= 4 && f < 7)
            continue; // three frames without sound
        const int16_t value = static_cast<int16_t>(1000 * (f + 1));
        storage.emplace_back(1102 * 2);
        for (size_t i = 0; i < storage.back().size(); i += 2) {
            storage.back()[i] = static_cast<uint8_t>(value);
            storage.back()[i + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
    for (int f = 0, k = 0; f < 10; ++f)
        if (f < 4 || f >= 7)
            blocks[static_cast<size_t>(f)].push_back(storage[static_cast<size_t>(k++)]);
    std::string error;
    const auto track = SwfMovieSound::BuildStreamTrack(head, 10.0, blocks, error);
    ASSERT_FALSE(track.empty()) << error;
    ASSERT_EQ(track.frameStart.size(), 10u);
    EXPECT_EQ(track.pcm->format, (PcmFormat{11025, 1})) << "kept at its own format";
    for (size_t f = 0; f < 10; ++f) {
        EXPECT_NEAR(static_cast<double>(track.frameStart[f]), 1102.5 * static_cast<double>(f), 3)
            << f;
    }
    const auto& pcm = track.pcm->samples;
    EXPECT_EQ(pcm.at(track.frameStart[2] + 500), 3000);
    EXPECT_EQ(pcm.at(track.frameStart[3] + 1101), 4000);
    EXPECT_EQ(pcm.at(1102 * 5), 0) << "the gap is silent";
    EXPECT_EQ(pcm.at(track.frameStart[7]), 8000) << "the block after the gap starts on its frame";
    EXPECT_EQ(pcm.at(track.frameStart[8] + 500), 9000);
}

// Movies are untrusted: arbitrary bytes in any sound record must decode to a bounded
// amount of sound or an error, never a crash (the sanitizer build watches the reads).
TEST(SwfSoundRecords, ArbitraryBytesNeverBreakTheDecoders) {
    std::mt19937 random(99);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> body(random() % 600);
        for (auto& b : body)
            b = static_cast<uint8_t>(random());
        // Sometimes a real MP3 frame header, so the MP3 path decodes something.
        if (body.size() > 12 && round % 3 == 0) {
            const uint8_t header[] = {0xFF, 0xF3, 0x48, 0xC4};
            std::copy(std::begin(header), std::end(header), body.begin() + 9);
        }
        SwfDefinedSound sound;
        std::string error;
        if (ParseDefineSound(body, sound, error)) {
            PcmBuffer pcm;
            if (DecodeDefinedSound(sound, pcm, error)) {
                // No codec makes more than 8 frames per bit of input... plus one MP3 frame.
                EXPECT_LE(pcm.frames(), body.size() * 64 + 1152) << round;
            }
        }
        size_t pos = 0;
        SwfSoundInfo info;
        if (ParseSoundInfo(body, pos, info, error)) {
            EXPECT_LE(pos, body.size());
        }
        SwfStreamHead head;
        if (ParseStreamHead(body, head, error)) {
            std::vector<std::vector<std::span<const uint8_t>>> blocks(4);
            for (size_t f = 0; f < 4 && body.size() > 8; ++f)
                blocks[f].push_back(std::span(body).subspan(f * body.size() / 8));
            const auto track = SwfMovieSound::BuildStreamTrack(head, 12, blocks, error);
            if (!track.empty()) {
                EXPECT_EQ(track.frameStart.size(), 4u);
            }
        }
    }
}
