#include "sound/uDistillSound.h"

#include "sound/uDistillFolderLock.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <lame/lame.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

const int TDistillSound::BitRates[18] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                         96, 112, 128, 144, 160, 192, 224, 256, 320};

namespace {

constexpr int DefaultChannels = 2;
constexpr int DefaultRate = 22050;
constexpr int DefaultBitRateIndex = 5;
constexpr uintmax_t MinUsableSoundBytes = 2048;

using ConvertWaveFn = const char* (*)(const char*, const char*);
using ConvertMP3Fn = const char* (*)(const char*, const char*, int, int);

std::string executableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool folderWritable(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// The rates an MP3 stream can carry; other targets are moved to the nearest one.
int mp3Rate(int rate) {
    static const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    int best = rates[0];
    for (int r : rates)
        if (std::abs(r - rate) < std::abs(best - rate))
            best = r;
    return best;
}

std::string stemOf(const std::string& path) {
    std::string name = fs::path(path).filename().string();
    return name.substr(0, name.find('.'));
}

std::string besideMp3(const std::string& file) {
    return fs::path(file).replace_extension(".mp3").string();
}

void removeQuietly(const std::string& file) {
    std::error_code ec;
    if (!file.empty())
        fs::remove(file, ec);
}

bool existsFile(const std::string& file) {
    std::error_code ec;
    return !file.empty() && fs::is_regular_file(file, ec);
}

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct SwrCloser {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct LameCloser {
    void operator()(lame_global_flags* l) const { lame_close(l); }
};

// Appends bytes to a file handle; false when the disk refuses them.
bool put(FILE* f, const unsigned char* data, int size) {
    return size <= 0 || std::fwrite(data, 1, size_t(size), f) == size_t(size);
}

} // namespace

TDistillSound::TDistillSound(const std::string& ProgramFolder)
    : ProgramFolder_(withSlash(ProgramFolder.empty() ? executableFolder() : ProgramFolder)) {
    DistillFolder = ChooseDistillFolder(ProgramFolder_);
    InstallLibrary();
}

std::string TDistillSound::ChooseDistillFolder(const std::string& ProgramFolder) {
    fs::path beside = fs::path(withSlash(ProgramFolder)) / "DistillSound";
    if (folderWritable(beside))
        return withSlash(beside.string());
    const char* cache = std::getenv("XDG_CACHE_HOME");
    fs::path base;
    if (cache && *cache)
        base = cache;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".cache";
    else
        base = fs::temp_directory_path();
    fs::path folder = base / "OndrelMediaMaker" / "DistillSound";
    folderWritable(folder);
    return withSlash(folder.string());
}

void TDistillSound::InstallLibrary() {
    std::error_code ec;
    fs::path built = fs::path(ProgramFolder_) / LibraryName;
    fs::path installed = LibraryPath();
    if (!fs::is_regular_file(built, ec) || fs::equivalent(built, installed, ec))
        return;
    bool current = fs::is_regular_file(installed, ec) &&
                   fs::file_size(installed, ec) == fs::file_size(built, ec) &&
                   fs::last_write_time(installed, ec) >= fs::last_write_time(built, ec);
    if (current)
        return;
    // Copied under a temporary name so that a concurrent load never sees half a library.
    fs::path temp = installed;
    temp += ".part" + std::to_string(::getpid());
    if (fs::copy_file(built, temp, fs::copy_options::overwrite_existing, ec))
        fs::rename(temp, installed, ec);
    if (ec)
        fs::remove(temp, ec);
}

int TDistillSound::BitRateKbps(int Index) {
    if (Index < 0 || Index >= int(std::size(BitRates)))
        return -1;
    return BitRates[Index];
}

bool TDistillSound::IsValidSound(const std::string& File) {
    std::error_code ec;
    if (!fs::is_regular_file(File, ec))
        return false;
    std::ifstream in(File, std::ios::binary);
    return in.good() && fs::file_size(File, ec) > MinUsableSoundBytes && !ec;
}

bool TDistillSound::HasSoundTrack(const std::string& File) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, File.c_str(), nullptr, nullptr) < 0)
        return false;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return false;
    const AVCodec* decoder = nullptr;
    return av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0) >= 0 && decoder;
}

TSoundChain TDistillSound::PlanChain(int Bits, int Channels, int Rate, const TSoundInfo& Target) {
    TSoundChain chain;
    chain.SourceBits = Bits;
    chain.SourceChannels = Channels;
    chain.SourceRate = Rate;
    chain.TargetChannels =
        Target.Channels == 1 || Target.Channels == 2 ? Target.Channels : DefaultChannels;
    chain.TargetRate = mp3Rate(Target.SampleRate > 0 ? Target.SampleRate : DefaultRate);
    int kbps = BitRateKbps(Target.BitRate);
    chain.TargetKbps = kbps > 0 ? kbps : BitRates[DefaultBitRateIndex];
    chain.To16Bit = Bits == 8;
    chain.ChannelConverter = Channels != chain.TargetChannels;
    chain.RateConverter = Rate != chain.TargetRate;
    return chain;
}

void TDistillSound::SetNames() {
    std::string stem = stemOf(SourceFile);
    WaveFile = DistillFolder + stem + ".wav";
    MP3File = DistillFolder + stem + ".MP3";
    AltWaveFile = DistillFolder + "Sound.wav";
}

std::string TDistillSound::CallLibrary(bool Tolerant, const std::string& Target) {
    // Loaded for this one call and unloaded at once, so a rebuilt library is picked up
    // without restarting the program. The result points into our own Target text (see
    // AudioPrep.h), so it is copied before the library goes.
    void* handle = ::dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return {};
    std::string result;
    if (Tolerant) {
        if (auto fn = reinterpret_cast<ConvertMP3Fn>(::dlsym(handle, "ConvertMP3")))
            if (const char* r = fn(SourceFile.c_str(), Target.c_str(), 0, 0))
                result = r;
    } else {
        if (auto fn = reinterpret_cast<ConvertWaveFn>(::dlsym(handle, "ConvertWave")))
            if (const char* r = fn(SourceFile.c_str(), Target.c_str()))
                result = r;
    }
    ::dlclose(handle);
    return result;
}

void TDistillSound::Cleanup() {
    removeQuietly(WaveFile);
    removeQuietly(AltWaveFile);
}

std::string TDistillSound::Distill() {
    // The intermediate names are fixed, so one extraction at a time uses the folder.
    TDistillFolderLock lock(DistillFolder, "sound");
    return DistillHoldingLock();
}

std::string TDistillSound::DistillHoldingLock() {
    LastError.clear();
    NoSoundTrack = false;
    if (!existsFile(SourceFile)) {
        LastError = SourceFile + ": the file does not exist";
        return {};
    }
    SetNames();
    std::string beside = besideMp3(SourceFile);
    if (existsFile(beside)) {
        MP3File = beside;
        return MP3File;
    }
    removeQuietly(MP3File);
    std::string firstWave = WaveFile;
    if (!existsFile(LibraryPath())) {
        LastError = LibraryPath() + ": the sound library is missing";
        return {};
    }
    std::string produced = CallLibrary(false, WaveFile);
    if (!produced.empty())
        WaveFile = produced;
    if (!IsValidSound(WaveFile)) {
        removeQuietly(WaveFile);
        WaveFile = firstWave;
        std::string alt = CallLibrary(true, AltWaveFile);
        if (!alt.empty())
            AltWaveFile = alt;
        std::error_code ec;
        if (existsFile(AltWaveFile))
            fs::rename(AltWaveFile, WaveFile, ec);
    }
    if (IsValidSound(WaveFile)) {
        if (!EncodeMP3()) {
            // Never leave WAV data standing under the MP3 name: fail cleanly instead.
            removeQuietly(MP3File);
        }
    } else if (!HasSoundTrack(SourceFile)) {
        NoSoundTrack = true;
        LastError = SourceFile + ": the video has no sound track";
    } else {
        LastError = SourceFile + ": its sound track cannot be decoded";
    }
    Cleanup();
    if (existsFile(MP3File))
        return MP3File;
    if (LastError.empty())
        LastError = SourceFile + ": no sound was extracted";
    return {};
}

bool TDistillSound::DistillToMP3(const std::string& File) {
    SourceFile = File;
    TDistillFolderLock lock(DistillFolder, "sound");
    std::string result = DistillHoldingLock();
    std::string target = besideMp3(File);
    if (result.empty())
        return false;
    std::error_code ec;
    if (fs::equivalent(result, target, ec))
        return true; // it was there already; it stays
    fs::path temp = target + ".part" + std::to_string(::getpid());
    bool copied = fs::copy_file(result, temp, fs::copy_options::overwrite_existing, ec);
    if (copied)
        fs::rename(temp, target, ec);
    if (!copied || ec) {
        LastError = target + ": cannot write the sound file (" + ec.message() + ")";
        fs::remove(temp, ec);
    }
    removeQuietly(result);
    return existsFile(target);
}

bool TDistillSound::EncodeMP3() {
    removeQuietly(MP3File);
    ProgressCount = 0;
    Done = false;

    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, WaveFile.c_str(), av_find_input_format("wav"), nullptr) < 0) {
        LastError = WaveFile + ": not a readable WAV file";
        return false;
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0 || raw->nb_streams < 1 ||
        raw->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
        LastError = WaveFile + ": not a readable WAV file";
        return false;
    }
    const AVCodecParameters* par = raw->streams[0]->codecpar;
    int bits = av_get_bits_per_sample(AVCodecID(par->codec_id));
    if (bits <= 0)
        bits = par->bits_per_coded_sample;
    TSoundChain chain = PlanChain(bits, par->ch_layout.nb_channels, par->sample_rate, SoundInfo);
    LastChain = chain;
    format.reset();

    // The encoding runs on a worker; this thread waits with its event loop alive so a
    // window stays painted, and reports progress from here.
    std::string error;
    bool ok = false;
    std::thread worker([&] {
        ok = EncodeNow(chain, error);
        Done = true;
    });
    int reported = -1;
    auto report = [&] {
        int now = ProgressCount.load();
        if (now != reported && OnProgress)
            OnProgress(now);
        reported = now;
    };
    if (QCoreApplication::instance() && QThread::currentThread() == qApp->thread()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            report();
            if (Done)
                loop.quit();
        });
        poll.start(20);
        if (!Done)
            loop.exec();
    } else {
        while (!Done) {
            report();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    worker.join();
    report();
    if (!ok) {
        LastError = error;
        removeQuietly(MP3File);
        return false;
    }
    removeQuietly(WaveFile);
    return true;
}

bool TDistillSound::EncodeNow(const TSoundChain& Chain, std::string& Error) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, WaveFile.c_str(), av_find_input_format("wav"), nullptr) < 0 ||
        avformat_find_stream_info(raw, nullptr) < 0) {
        if (raw)
            avformat_close_input(&raw);
        Error = WaveFile + ": not a readable WAV file";
        return false;
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    AVStream* stream = raw->streams[0];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    std::unique_ptr<AVCodecContext, CodecCloser> codec(avcodec_alloc_context3(decoder));
    if (!decoder || !codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0 ||
        avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        Error = WaveFile + ": its sample format cannot be decoded";
        return false;
    }

    AVChannelLayout in = {}, out = {};
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, codec->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&in, &codec->ch_layout);
    av_channel_layout_default(&out, Chain.TargetChannels);
    SwrContext* swrRaw = nullptr;
    int rc = swr_alloc_set_opts2(&swrRaw, &out, AV_SAMPLE_FMT_S16, Chain.TargetRate, &in,
                                 codec->sample_fmt, codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    std::unique_ptr<SwrContext, SwrCloser> swr(swrRaw);
    if (rc < 0 || swr_init(swr.get()) < 0) {
        Error = WaveFile + ": its sound cannot be converted to the target format";
        return false;
    }

    std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
    if (!lame) {
        Error = "the MP3 encoder cannot be started";
        return false;
    }
    lame_set_num_channels(lame.get(), Chain.TargetChannels);
    lame_set_in_samplerate(lame.get(), Chain.TargetRate);
    lame_set_out_samplerate(lame.get(), Chain.TargetRate);
    lame_set_mode(lame.get(), Chain.TargetChannels == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_brate(lame.get(), Chain.TargetKbps);
    lame_set_quality(lame.get(), 5);
    lame_set_bWriteVbrTag(lame.get(), 0); // a plain constant-rate stream for the device
    if (lame_init_params(lame.get()) < 0) {
        Error = "the MP3 encoder refuses " + std::to_string(Chain.TargetKbps) + " kbit/s at " +
                std::to_string(Chain.TargetRate) + " Hz";
        return false;
    }

    std::string temp = MP3File + ".part" + std::to_string(::getpid());
    FILE* outFile = std::fopen(temp.c_str(), "wb");
    if (!outFile) {
        Error = MP3File + ": cannot be created";
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(outFile, std::fclose);

    const int64_t totalIn =
        stream->duration != AV_NOPTS_VALUE
            ? av_rescale_q(stream->duration, stream->time_base, AVRational{1, codec->sample_rate})
            : 0;
    int64_t doneIn = 0;
    std::vector<int16_t> pcm;
    std::vector<unsigned char> mp3;
    bool ok = true;
    auto encode = [&](const uint8_t** data, int samples) {
        int maxOut = swr_get_out_samples(swr.get(), samples);
        if (maxOut < 0)
            return false;
        pcm.resize(size_t(maxOut + 1) * size_t(Chain.TargetChannels));
        uint8_t* outData[1] = {reinterpret_cast<uint8_t*>(pcm.data())};
        int got = swr_convert(swr.get(), outData, maxOut, data, samples);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        mp3.resize(size_t(got) * 5 / 4 + 7200);
        int bytes = Chain.TargetChannels == 1
                        ? lame_encode_buffer(lame.get(), pcm.data(), pcm.data(), got, mp3.data(),
                                             int(mp3.size()))
                        : lame_encode_buffer_interleaved(lame.get(), pcm.data(), got, mp3.data(),
                                                         int(mp3.size()));
        return bytes >= 0 && put(outFile, mp3.data(), bytes);
    };

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int lastPercent = 0;
    while (ok && av_read_frame(raw, packet) >= 0) {
        if (avcodec_send_packet(codec.get(), packet) >= 0) {
            while (ok && avcodec_receive_frame(codec.get(), frame) >= 0) {
                ok = encode(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
                doneIn += frame->nb_samples;
                av_frame_unref(frame);
            }
        }
        av_packet_unref(packet);
        if (totalIn > 0) {
            int percent = int(std::min<int64_t>(100, doneIn * 100 / totalIn));
            while (lastPercent < percent) {
                ++lastPercent;
                ++ProgressCount;
            }
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    if (ok)
        ok = encode(nullptr, 0); // what the resampler still holds
    if (ok) {
        mp3.resize(7200);
        int bytes = lame_encode_flush(lame.get(), mp3.data(), int(mp3.size()));
        ok = bytes >= 0 && put(outFile, mp3.data(), bytes);
    }
    ok = (std::fclose(closer.release()) == 0) && ok;
    std::error_code ec;
    if (ok)
        fs::rename(temp, MP3File, ec);
    if (!ok || ec) {
        fs::remove(temp, ec);
        Error = MP3File + ": the MP3 file could not be written";
        return false;
    }
    return true;
}
