#pragma once
// A Flash movie as read from disk: the header and every tag of the main timeline and of
// each sprite, with the raw tag bodies kept in the movie's (decompressed) data. The
// movie is immutable once loaded and shared between the player, the renderer and the
// sound side, which all keep a std::shared_ptr<const SwfMovie>: the spans in SwfTag
// stay valid as long as that pointer lives.
//
// Loading never trusts the file: lengths are checked against the data, the
// decompressed size, the stage size and the frame counts are capped, and a movie cut
// short yields the frames that could be read (with a warning) instead of nothing.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace omm::swf {

// Tag codes the program knows by name; every other code is kept raw and skipped.
enum TagCode : uint16_t {
    TagEnd = 0,
    TagShowFrame = 1,
    TagDefineShape = 2,
    TagPlaceObject = 4,
    TagRemoveObject = 5,
    TagDefineBits = 6,
    TagDefineButton = 7,
    TagJPEGTables = 8,
    TagSetBackgroundColor = 9,
    TagDefineFont = 10,
    TagDefineText = 11,
    TagDoAction = 12,
    TagDefineFontInfo = 13,
    TagDefineSound = 14,
    TagStartSound = 15,
    TagSoundStreamHead = 18,
    TagSoundStreamBlock = 19,
    TagDefineBitsLossless = 20,
    TagDefineBitsJPEG2 = 21,
    TagDefineShape2 = 22,
    TagProtect = 24,
    TagPlaceObject2 = 26,
    TagRemoveObject2 = 28,
    TagDefineShape3 = 32,
    TagDefineText2 = 33,
    TagDefineBitsJPEG3 = 35,
    TagDefineBitsLossless2 = 36,
    TagDefineEditText = 37,
    TagDefineSprite = 39,
    TagFrameLabel = 43,
    TagSoundStreamHead2 = 45,
    TagDefineMorphShape = 46,
    TagDefineFont2 = 48,
    TagDoInitAction = 59,
    TagDefineVideoStream = 60,
    TagVideoFrame = 61,
    TagDefineFontInfo2 = 62,
    TagFileAttributes = 69,
    TagPlaceObject3 = 70,
    TagDefineFontAlignZones = 73,
    TagCSMTextSettings = 74,
    TagDefineFont3 = 75,
    TagSymbolClass = 76,
    TagMetadata = 77,
    TagDefineScalingGrid = 78,
    TagDoABC = 82,
    TagDefineShape4 = 83,
    TagDefineMorphShape2 = 84,
    TagDefineSceneAndFrameLabelData = 86,
    TagDefineBinaryData = 87,
    TagDefineFontName = 88,
    TagStartSound2 = 89,
    TagDefineBitsJPEG4 = 90,
};

// Human-readable name of a tag code ("DefineShape3"), or "Unknown(NNN)".
std::string TagName(uint16_t code);

// True for the tags that make or feed sound: StartSound, StartSound2, SoundStreamHead,
// SoundStreamHead2 and SoundStreamBlock (DefineSound is a definition, not a trigger).
bool IsSoundTriggerTag(uint16_t code);

// True for the tags that define a character (their body starts with its id).
bool IsDefinitionTag(uint16_t code);

// Limits that keep a hostile movie from exhausting the machine.
struct SwfLimits {
    uint64_t maxDecompressedBytes = 256ull << 20; // whole movie after zlib/LZMA
    int32_t maxStageTwips = 8192 * 20;            // width and height of the stage
    uint32_t maxFrames = 1u << 20;                // frames of one timeline
    uint32_t maxTags = 4u << 20;                  // tags in the whole movie
    int maxSpriteDepth = 16;                      // sprites inside sprites (read time)
};

enum class SwfCompression { None, Zlib, Lzma };

struct SwfRect {
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0; // twips (1/20 pixel)
    int32_t Width() const { return xMax - xMin; }
    int32_t Height() const { return yMax - yMin; }
};

struct SwfHeader {
    char signature[4] = {0, 0, 0, 0}; // "FWS", "CWS" or "ZWS"
    SwfCompression compression = SwfCompression::None;
    uint8_t version = 0;
    uint32_t fileLength = 0;     // as stated in the header (uncompressed length)
    SwfRect stage;               // twips
    uint16_t frameRate8_8 = 0;   // 8.8 fixed point, frames per second
    uint16_t declaredFrames = 0; // the header's frame count, 0 for some encoders
    double FrameRate() const { return frameRate8_8 / 256.0; }
};

// One tag of a timeline, as found in the file.
struct SwfTag {
    uint16_t code = 0;
    uint32_t offset = 0; // of the body within SwfMovie::Data()
    std::span<const uint8_t> body;
};

// One frame of a timeline: the control tags that belong to it (everything between the
// previous ShowFrame and its own ShowFrame, the ShowFrame excluded).
struct SwfFrame {
    uint32_t firstTag = 0; // index into SwfTimeline::tags
    uint32_t tagCount = 0;
    std::string label; // FrameLabel of the frame, empty if none
    // Indexes into SwfTimeline::tags of the sound triggers of the frame, in file order.
    std::vector<uint32_t> soundTags;
};

// The main timeline (characterId 0) or the timeline of a DefineSprite.
struct SwfTimeline {
    uint16_t characterId = 0;
    uint16_t declaredFrames = 0;
    std::vector<SwfTag> tags;     // the timeline's own tags (a sprite's body tags)
    std::vector<SwfFrame> frames; // at least one frame for a timeline with any tag
    uint32_t FrameCount() const { return static_cast<uint32_t>(frames.size()); }
    // The sound trigger tags of one frame (empty when the frame does not exist).
    std::vector<const SwfTag*> SoundTagsOfFrame(uint32_t frame) const;
    // Frame of a FrameLabel (case-insensitive as the player treats labels), -1 if none.
    int FindLabel(const std::string& label) const;
};

class SwfMovie {
public:
    // Reads a movie from a file. On failure returns null and sets error to a message
    // naming the file and what is wrong. A movie that could be read only in part is
    // returned with warning() set.
    static std::shared_ptr<const SwfMovie> Load(const std::string& path, std::string& error,
                                                const SwfLimits& limits = {});
    // Same from bytes in memory; name is used in messages.
    static std::shared_ptr<const SwfMovie> FromBytes(std::vector<uint8_t> bytes,
                                                     const std::string& name, std::string& error,
                                                     const SwfLimits& limits = {});

    const std::string& Name() const { return name_; }
    const SwfHeader& Header() const { return header_; }
    // Whole movie after decompression, header included (tag spans point into it).
    std::span<const uint8_t> Data() const { return data_; }
    // Non-empty when the movie was damaged and only partly read.
    const std::string& Warning() const { return warning_; }

    const SwfTimeline& Root() const { return root_; }
    // Frames of the main timeline: the ShowFrame tags when the header states 0 (or
    // more frames than the file holds), otherwise the header's count.
    uint32_t FrameCount() const { return root_.FrameCount(); }

    // The timeline of a DefineSprite, or null.
    const SwfTimeline* Sprite(uint16_t characterId) const;
    // The tag that defined a character (any Define* tag, DefineSound included), or null.
    const SwfTag* DefinitionTag(uint16_t characterId) const;
    // Every defined character id with its tag, in id order.
    const std::map<uint16_t, SwfTag>& Definitions() const { return definitions_; }
    // The JPEGTables tag body shared by DefineBits images (empty if none).
    std::span<const uint8_t> JpegTables() const { return jpegTables_; }
    // Background colour (0xRRGGBB) from SetBackgroundColor, white if the movie sets none.
    uint32_t BackgroundColor() const { return background_; }

    // Number of tags per code over the whole movie, sprites included.
    const std::map<uint16_t, uint32_t>& TagStatistics() const { return statistics_; }

private:
    SwfMovie() = default;
    bool Parse(const SwfLimits& limits, std::string& error);
    bool ParseTimeline(size_t begin, size_t end, SwfTimeline& timeline, int depth,
                       const SwfLimits& limits, uint32_t& tagBudget);

    std::string name_;
    SwfHeader header_;
    std::vector<uint8_t> data_;
    std::string warning_;
    SwfTimeline root_;
    std::map<uint16_t, SwfTimeline> sprites_;
    std::map<uint16_t, SwfTag> definitions_;
    std::span<const uint8_t> jpegTables_;
    uint32_t background_ = 0xFFFFFF;
    std::map<uint16_t, uint32_t> statistics_;
};

} // namespace omm::swf
