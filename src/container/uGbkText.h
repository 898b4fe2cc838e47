#pragma once
// Conversions between the program's UTF-8 texts and the GBK bytes the device reads.

#include <string>

// UTF-8 to GBK. Characters GBK cannot hold become '?'; invalid UTF-8 throws
// std::runtime_error.
std::string Utf8ToGbk(const std::string& Text);
// GBK to UTF-8. Invalid bytes become U+FFFD.
std::string GbkToUtf8(const std::string& Bytes);
// True when Bytes are well-formed UTF-8.
bool IsValidUtf8(const std::string& Bytes);
// Cuts GBK bytes to at most Limit bytes without splitting a double-byte character.
std::string TruncateGbk(const std::string& Bytes, size_t Limit);
