#include "container/uWriteData.h"

#include "container/uOaviFormat.h"

TOutStream& TWriteData::Out() const {
    if (!Stream)
        throw TEncodeError("section writer used without an output stream");
    return *Stream;
}

uint32_t TWriteData::Offset32(uint64_t Value) const {
    if (Value > SizeLimit || Value > oavi::MaxFileSize)
        throw TEncodeError(OutputName +
                           ": the device video would reach 4 GiB, more than its 32-bit "
                           "offsets can describe; use fewer frames or a smaller sound file");
    return static_cast<uint32_t>(Value);
}
