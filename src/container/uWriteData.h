#pragma once
// Base of the section writers of the device video and of the pipeline that runs them.
// Each writer appends its section at the end of the shared output stream, which it only
// borrows, and may later back-patch placeholders it left (TablePos remembers where its
// own table starts).

#include "codec/uStream.h"

#include <cstdint>
#include <stdexcept>
#include <string>

// An encode run that cannot go on; the message names the file and what is wrong.
class TEncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TWriteData {
public:
    explicit TWriteData(TOutStream* Stream) : Stream(Stream) {}
    virtual ~TWriteData() = default;
    TWriteData(const TWriteData&) = delete;
    TWriteData& operator=(const TWriteData&) = delete;

    // Writes this writer's section at the current end of the stream.
    virtual void Write() = 0;
    // Runs Write; the pipeline calls every stage through it. Errors are thrown.
    bool Execute() {
        Write();
        return true;
    }

    TOutStream* Stream = nullptr; // borrowed
    uint64_t TablePos = 0;
    // The output file's name, for error messages.
    std::string OutputName = "device video";
    // The largest file the offsets may describe; smaller limits serve tests.
    uint64_t SizeLimit = 0xFFFFFFFFull;

    // Value as a 32-bit file offset; throws when the file would grow past SizeLimit.
    uint32_t Offset32(uint64_t Value) const;

protected:
    TOutStream& Out() const;
    void SeekEnd() const { Out().Seek(Out().Size()); }
};
