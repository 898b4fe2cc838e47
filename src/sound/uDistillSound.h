#pragma once
// Sound extraction from AVI files: the sound track of one AVI file becomes an MP3 file in
// the model's sound format. The WAV comes out of the sibling library libAudioPrep.so
// (strict route first, its tolerant route second); the MP3 is encoded here with LAME at
// a constant bit rate.
//
// All intermediate files live in the DistillSound folder. That folder sits beside the
// program; when the program's folder is not writable (an installed copy) it is
// $XDG_CACHE_HOME/OndrelMediaMaker/DistillSound (default ~/.cache/...), because the files
// there are disposable. The library is copied into it and loaded from there by full path
// for each call, so a newer build beside the program replaces it on the next start.

#include "settings/LMSetVideoInfoUnit.h"

#include <atomic>
#include <functional>
#include <string>

// What the encoder puts between the WAV source and the MP3 writer.
struct TSoundChain {
    bool To16Bit = false;          // the WAV has 8-bit samples
    bool ChannelConverter = false; // mono to stereo or stereo to mono
    bool RateConverter = false;    // the WAV's sample rate differs from the target
    int SourceBits = 0, SourceChannels = 0, SourceRate = 0;
    int TargetChannels = 0, TargetRate = 0, TargetKbps = 0;
};

class TDistillSound {
public:
    // ProgramFolder: the folder of the running program, which holds libAudioPrep.so.
    // Empty: the folder of the running executable.
    explicit TDistillSound(const std::string& ProgramFolder = {});

    std::string DistillFolder; // ends in "/"
    std::string SourceFile;
    std::string WaveFile;
    std::string MP3File;
    std::string AltWaveFile;
    std::atomic<int> ProgressCount{0};
    std::atomic<bool> Done{false};

    // Target format (the profile's [SoundInfo]); zero or out-of-range values take the
    // defaults 2 channels, 22050 Hz and bit-rate index 5 (48 kbit/s).
    TSoundInfo SoundInfo;
    // Called on the caller's thread with ProgressCount while an encoding runs.
    std::function<void(int)> OnProgress;

    // Extracts the sound of SourceFile; the MP3 path, or empty when nothing was produced
    // (LastError says why; NoSoundTrack tells a source without sound from a failure).
    std::string Distill();
    // Distill, then place the MP3 beside File under File's name with ".mp3" (written
    // under a temporary name and renamed); true when it is there.
    bool DistillToMP3(const std::string& File);
    // Encodes WaveFile into MP3File; on failure no MP3File is left behind.
    bool EncodeMP3();

    std::string LastError;
    bool NoSoundTrack = false;
    TSoundChain LastChain;

    std::string ProgramFolder() const { return ProgramFolder_; }
    std::string LibraryPath() const { return DistillFolder + LibraryName; }

    static constexpr const char* LibraryName = "libAudioPrep.so";
    // kbit/s of a bit-rate index of the sound settings (index 5: 48); -1 outside the list.
    static int BitRateKbps(int Index);
    // The bit rates of the sound settings, in list order.
    static const int BitRates[18];
    // The folder for intermediate files given the program's folder (see above).
    static std::string ChooseDistillFolder(const std::string& ProgramFolder);
    // Plans the chain for a WAV format and a target format (after defaults).
    static TSoundChain PlanChain(int Bits, int Channels, int Rate, const TSoundInfo& Target);
    // True when the file exists, can be read and is larger than 2048 bytes.
    static bool IsValidSound(const std::string& File);
    // True when the file holds at least one sound stream FFmpeg can decode.
    static bool HasSoundTrack(const std::string& File);

private:
    std::string DistillHoldingLock();
    void SetNames();
    void InstallLibrary();
    std::string CallLibrary(bool Tolerant, const std::string& Target);
    void Cleanup();
    bool EncodeNow(const TSoundChain& Chain, std::string& Error);

    std::string ProgramFolder_;
};
