#pragma once
// Chooses the frame compressor by model name: "LM41", "LM52" and "LM63" (the LM52A
// codec). Any other name yields no compressor (nullptr), and no frames are encoded.

#include <memory>
#include <string_view>

#include "codec/uGraphicCompressBase.h"

std::unique_ptr<TGraphicCompressBase> CreateGraphicCompress(std::string_view ModelName);

// True for the model names that have a compressor.
bool HasGraphicCompress(std::string_view ModelName);
