#pragma once
// The whole sound of a Flash movie, mixed as it plays, written to a WAV file.

#include <string>

// Runs the movie's main timeline from frame 0 to its end (or to where a stop action halts
// it, as the player does), mixes every event sound it starts and its stream sound at
// 44100 Hz stereo, and writes the result to wavPath as 16-bit PCM WAV. The file is
// written under a temporary name beside wavPath and renamed over it when complete.
// Returns false with a message naming the file and the fault in `error`.
bool RenderMovieSound(const std::string& swfPath, const std::string& wavPath, std::string& error);
