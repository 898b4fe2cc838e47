#pragma once
// The integer frame rate of a Flash movie as its file header states it.

#include <string>

// Frames per second from the header of the SWF file FileName. Gives 12 when the file is
// missing, unreadable or too short, when its signature is neither "FWS" nor "CWS" (any
// letter case), when the movie is compressed ("CWS": the header after byte 8 is not
// unpacked), and when the integer part of the rate is 0 (a rate below one frame per
// second would make every division by the rate fail). The fractional part is dropped.
int ReadFrameRate(const std::string& FileName);
