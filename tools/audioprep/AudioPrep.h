#ifndef OMM_AUDIOPREP_H
#define OMM_AUDIOPREP_H
/*
 * libAudioPrep.so: the sound track of a video file as a 16-bit PCM WAV file.
 *
 * Both exports take UTF-8 paths and write the WAV file under the target name (through a
 * temporary name beside it, so a failed call never leaves a partial WAV behind).
 *
 * Result ownership: the returned pointer always points into the caller's own `wav`
 * argument: the whole text when the WAV file was written, its terminating zero (an empty
 * text) when not. It therefore needs no freeing, stays valid after the library is
 * unloaded and is safe with concurrent calls. A null `wav` gives a null result.
 *
 * ConvertWave: strict. Decodes the first audio stream as it is; any damaged packet fails
 *              the call. Keeps the source's sample rate; more than two channels are mixed
 *              down to stereo.
 * ConvertMP3:  tolerant. Skips damaged packets and fills them, and every gap in the time
 *              stamps, with silence so the sound stays in step with the picture; always
 *              writes 44100 Hz stereo. The two trailing arguments are reserved (pass 0).
 */

#ifdef __cplusplus
extern "C" {
#endif

typedef const char* (*ConvertWaveFunc)(const char* src, const char* wav);
typedef const char* (*ConvertMP3Func)(const char* src, const char* wav, int reserved1,
                                      int reserved2);

__attribute__((visibility("default"))) const char* ConvertWave(const char* src, const char* wav);
__attribute__((visibility("default"))) const char* ConvertMP3(const char* src, const char* wav,
                                                              int reserved1, int reserved2);

#ifdef __cplusplus
}
#endif

#endif
