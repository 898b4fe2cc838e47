#include "platform/swf/SwfMovie.h"

#include "platform/swf/SwfBits.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>

namespace omm::swf {

namespace {

constexpr size_t HeaderBytes = 8;     // signature, version, file length
constexpr size_t LzmaPrefixBytes = 9; // compressed length (4) and LZMA properties (5)

const std::set<uint16_t>& DefinitionCodes() {
    static const std::set<uint16_t> codes = {
        TagDefineShape,      TagDefineBits,          TagDefineButton,       TagDefineFont,
        TagDefineText,       TagDefineSound,         TagDefineBitsLossless, TagDefineBitsJPEG2,
        TagDefineShape2,     34 /*DefineButton2*/,   TagDefineShape3,       TagDefineText2,
        TagDefineBitsJPEG3,  TagDefineBitsLossless2, TagDefineEditText,     TagDefineSprite,
        TagDefineMorphShape, TagDefineFont2,         TagDefineVideoStream,  TagDefineFont3,
        TagDefineShape4,     TagDefineMorphShape2,   TagDefineBinaryData,   TagDefineBitsJPEG4};
    return codes;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Inflates a zlib stream into out, stopping at limit bytes. Returns false with a reason
// when the stream is damaged before anything useful came out of it; a stream cut short
// leaves what was inflated and sets truncated.
bool Inflate(std::span<const uint8_t> in, size_t limit, std::vector<uint8_t>& out, bool& truncated,
             std::string& reason) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        reason = "cannot start the zlib decoder";
        return false;
    }
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
    size_t start = out.size();
    int rc = Z_OK;
    while (out.size() - start < limit) {
        size_t chunk = std::min<size_t>(limit - (out.size() - start), 1 << 20);
        size_t old = out.size();
        out.resize(old + chunk);
        zs.next_out = out.data() + old;
        zs.avail_out = static_cast<uInt>(chunk);
        rc = inflate(&zs, Z_NO_FLUSH);
        out.resize(old + (chunk - zs.avail_out));
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK) {
            if (rc == Z_BUF_ERROR && zs.avail_in == 0)
                truncated = true;
            else if (out.size() == start) {
                reason =
                    std::string("the zlib data is damaged (") + (zs.msg ? zs.msg : "error") + ")";
                inflateEnd(&zs);
                return false;
            } else {
                truncated = true;
            }
            break;
        }
        if (zs.avail_in == 0 && zs.avail_out != 0) {
            truncated = true;
            break;
        }
    }
    inflateEnd(&zs);
    return true;
}

bool UnLzma(std::span<const uint8_t> in, size_t expected, std::vector<uint8_t>& out,
            bool& truncated, std::string& reason) {
    if (in.size() < LzmaPrefixBytes) {
        reason = "the LZMA header is cut short";
        return false;
    }
    // The movie stores the 5 property bytes without the size field that the
    // .lzma ("alone") format expects; rebuild that header around them. The
    // dictionary never needs to be larger than the movie: a hostile file must not
    // make the decoder reserve gigabytes for it.
    std::vector<uint8_t> alone(in.begin() + 4, in.begin() + 9);
    uint32_t dictionary =
        alone[1] | (alone[2] << 8) | (alone[3] << 16) | (static_cast<uint32_t>(alone[4]) << 24);
    uint32_t needed = static_cast<uint32_t>(std::max<size_t>(expected, 4096));
    if (dictionary > needed)
        for (int i = 0; i < 4; ++i)
            alone[1 + i] = static_cast<uint8_t>(needed >> (8 * i));
    uint64_t size = expected;
    for (int i = 0; i < 8; ++i)
        alone.push_back(static_cast<uint8_t>(size >> (8 * i)));
    lzma_stream ls = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&ls, (64ull << 20) + expected) != LZMA_OK) {
        reason = "cannot start the LZMA decoder";
        return false;
    }
    size_t start = out.size();
    ls.next_in = alone.data();
    ls.avail_in = alone.size();
    bool headerDone = false;
    lzma_ret rc = LZMA_OK;
    // Grow the output as data really comes out, not by what the header claims.
    while (out.size() - start < expected) {
        size_t chunk = std::min<size_t>(expected - (out.size() - start), 1 << 20);
        size_t old = out.size();
        out.resize(old + chunk);
        ls.next_out = out.data() + old;
        ls.avail_out = chunk;
        if (!headerDone && ls.avail_in == 0) {
            ls.next_in = in.data() + LzmaPrefixBytes;
            ls.avail_in = in.size() - LzmaPrefixBytes;
            headerDone = true;
        }
        rc = lzma_code(&ls, headerDone ? LZMA_FINISH : LZMA_RUN);
        out.resize(old + (chunk - ls.avail_out));
        if (rc == LZMA_OK && !headerDone && ls.avail_in == 0)
            continue;
        if (rc != LZMA_OK)
            break;
        if (ls.avail_out != 0 && ls.avail_in == 0 && headerDone)
            break;
    }
    size_t produced = out.size() - start;
    lzma_end(&ls);
    if (rc == LZMA_STREAM_END || (rc == LZMA_OK && produced == expected))
        return true;
    if (produced == 0) {
        reason = rc == LZMA_OPTIONS_ERROR || rc == LZMA_FORMAT_ERROR
                     ? "the LZMA properties are invalid"
                     : "the LZMA data is damaged";
        return false;
    }
    truncated = true;
    return true;
}

} // namespace

std::string TagName(uint16_t code) {
    static const std::map<uint16_t, const char*> names = {{0, "End"},
                                                          {1, "ShowFrame"},
                                                          {2, "DefineShape"},
                                                          {4, "PlaceObject"},
                                                          {5, "RemoveObject"},
                                                          {6, "DefineBits"},
                                                          {7, "DefineButton"},
                                                          {8, "JPEGTables"},
                                                          {9, "SetBackgroundColor"},
                                                          {10, "DefineFont"},
                                                          {11, "DefineText"},
                                                          {12, "DoAction"},
                                                          {13, "DefineFontInfo"},
                                                          {14, "DefineSound"},
                                                          {15, "StartSound"},
                                                          {17, "DefineButtonSound"},
                                                          {18, "SoundStreamHead"},
                                                          {19, "SoundStreamBlock"},
                                                          {20, "DefineBitsLossless"},
                                                          {21, "DefineBitsJPEG2"},
                                                          {22, "DefineShape2"},
                                                          {23, "DefineButtonCxform"},
                                                          {24, "Protect"},
                                                          {26, "PlaceObject2"},
                                                          {28, "RemoveObject2"},
                                                          {32, "DefineShape3"},
                                                          {33, "DefineText2"},
                                                          {34, "DefineButton2"},
                                                          {35, "DefineBitsJPEG3"},
                                                          {36, "DefineBitsLossless2"},
                                                          {37, "DefineEditText"},
                                                          {39, "DefineSprite"},
                                                          {41, "ProductInfo"},
                                                          {43, "FrameLabel"},
                                                          {45, "SoundStreamHead2"},
                                                          {46, "DefineMorphShape"},
                                                          {48, "DefineFont2"},
                                                          {56, "ExportAssets"},
                                                          {57, "ImportAssets"},
                                                          {58, "EnableDebugger"},
                                                          {59, "DoInitAction"},
                                                          {60, "DefineVideoStream"},
                                                          {61, "VideoFrame"},
                                                          {62, "DefineFontInfo2"},
                                                          {64, "EnableDebugger2"},
                                                          {65, "ScriptLimits"},
                                                          {66, "SetTabIndex"},
                                                          {69, "FileAttributes"},
                                                          {70, "PlaceObject3"},
                                                          {71, "ImportAssets2"},
                                                          {73, "DefineFontAlignZones"},
                                                          {74, "CSMTextSettings"},
                                                          {75, "DefineFont3"},
                                                          {76, "SymbolClass"},
                                                          {77, "Metadata"},
                                                          {78, "DefineScalingGrid"},
                                                          {82, "DoABC"},
                                                          {83, "DefineShape4"},
                                                          {84, "DefineMorphShape2"},
                                                          {86, "DefineSceneAndFrameLabelData"},
                                                          {87, "DefineBinaryData"},
                                                          {88, "DefineFontName"},
                                                          {89, "StartSound2"},
                                                          {90, "DefineBitsJPEG4"},
                                                          {91, "DefineFont4"}};
    auto it = names.find(code);
    return it != names.end() ? it->second : "Unknown(" + std::to_string(code) + ")";
}

bool IsDefinitionTag(uint16_t code) {
    return DefinitionCodes().count(code) != 0;
}

bool IsSoundTriggerTag(uint16_t code) {
    return code == TagStartSound || code == TagStartSound2 || code == TagSoundStreamHead ||
           code == TagSoundStreamHead2 || code == TagSoundStreamBlock;
}

std::vector<const SwfTag*> SwfTimeline::SoundTagsOfFrame(uint32_t frame) const {
    std::vector<const SwfTag*> out;
    if (frame >= frames.size())
        return out;
    for (uint32_t index : frames[frame].soundTags)
        out.push_back(&tags[index]);
    return out;
}

int SwfTimeline::FindLabel(const std::string& label) const {
    std::string wanted = Lower(label);
    for (size_t i = 0; i < frames.size(); ++i)
        if (!frames[i].label.empty() && Lower(frames[i].label) == wanted)
            return static_cast<int>(i);
    return -1;
}

std::shared_ptr<const SwfMovie> SwfMovie::Load(const std::string& path, std::string& error,
                                               const SwfLimits& limits) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = path + ": cannot open the file";
        return nullptr;
    }
    std::streamoff size = in.tellg();
    if (size < 0) {
        error = path + ": cannot read the file";
        return nullptr;
    }
    if (static_cast<uint64_t>(size) > limits.maxDecompressedBytes) {
        error = path + ": the file is larger than " +
                std::to_string(limits.maxDecompressedBytes >> 20) + " MiB, which is not accepted";
        return nullptr;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = path + ": cannot read the file";
        return nullptr;
    }
    return FromBytes(std::move(bytes), path, error, limits);
}

std::shared_ptr<const SwfMovie> SwfMovie::FromBytes(std::vector<uint8_t> bytes,
                                                    const std::string& name, std::string& error,
                                                    const SwfLimits& limits) {
    std::shared_ptr<SwfMovie> movie(new SwfMovie());
    movie->name_ = name;
    if (bytes.size() < HeaderBytes) {
        error = name + ": not a Flash movie (the file is only " + std::to_string(bytes.size()) +
                " bytes long)";
        return nullptr;
    }
    SwfHeader& h = movie->header_;
    std::copy(bytes.begin(), bytes.begin() + 3, h.signature);
    std::string sig(h.signature, 3);
    if (sig == "FWS")
        h.compression = SwfCompression::None;
    else if (sig == "CWS")
        h.compression = SwfCompression::Zlib;
    else if (sig == "ZWS")
        h.compression = SwfCompression::Lzma;
    else {
        error = name + ": not a Flash movie (it does not start with FWS, CWS or ZWS)";
        return nullptr;
    }
    h.version = bytes[3];
    h.fileLength =
        bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (static_cast<uint32_t>(bytes[7]) << 24);

    bool truncated = false;
    std::string reason;
    if (h.compression == SwfCompression::None) {
        movie->data_ = std::move(bytes);
        if (h.fileLength > movie->data_.size())
            truncated = true;
        else if (h.fileLength >= HeaderBytes)
            movie->data_.resize(h.fileLength);
    } else {
        if (h.fileLength > limits.maxDecompressedBytes) {
            error = name + ": the movie states an uncompressed size of " +
                    std::to_string(h.fileLength) + " bytes, more than the " +
                    std::to_string(limits.maxDecompressedBytes >> 20) + " MiB accepted";
            return nullptr;
        }
        if (h.fileLength < HeaderBytes) {
            error = name + ": the header states an impossible movie length of " +
                    std::to_string(h.fileLength) + " bytes";
            return nullptr;
        }
        movie->data_.assign(bytes.begin(), bytes.begin() + HeaderBytes);
        std::span<const uint8_t> packed(bytes.data() + HeaderBytes, bytes.size() - HeaderBytes);
        size_t expected = h.fileLength - HeaderBytes;
        bool ok = h.compression == SwfCompression::Zlib
                      ? Inflate(packed, expected, movie->data_, truncated, reason)
                      : UnLzma(packed, expected, movie->data_, truncated, reason);
        if (!ok) {
            error = name + ": cannot decompress the movie: " + reason;
            return nullptr;
        }
        if (movie->data_.size() < HeaderBytes + expected)
            truncated = true;
    }
    if (truncated)
        movie->warning_ = "the movie is cut short (" + std::to_string(movie->data_.size()) +
                          " of " + std::to_string(h.fileLength) +
                          " bytes); showing the part that could be read";
    if (!movie->Parse(limits, error)) {
        error = name + ": " + error;
        return nullptr;
    }
    return movie;
}

bool SwfMovie::Parse(const SwfLimits& limits, std::string& error) {
    SwfBitReader r(data_);
    r.Seek(HeaderBytes);
    int nbits = static_cast<int>(r.UBits(5));
    SwfRect& stage = header_.stage;
    stage.xMin = r.SBits(nbits);
    stage.xMax = r.SBits(nbits);
    stage.yMin = r.SBits(nbits);
    stage.yMax = r.SBits(nbits);
    header_.frameRate8_8 = r.U16();
    header_.declaredFrames = r.U16();
    if (r.Overrun()) {
        error = "the movie header is cut short";
        return false;
    }
    auto width = static_cast<int64_t>(stage.xMax) - stage.xMin;
    auto height = static_cast<int64_t>(stage.yMax) - stage.yMin;
    if (width <= 0 || height <= 0) {
        error = "the stage size " + std::to_string(width / 20) + "x" + std::to_string(height / 20) +
                " is empty or negative";
        return false;
    }
    if (width > limits.maxStageTwips || height > limits.maxStageTwips) {
        error = "the stage size " + std::to_string(width / 20) + "x" + std::to_string(height / 20) +
                " pixels is larger than the " + std::to_string(limits.maxStageTwips / 20) +
                " pixels accepted";
        return false;
    }
    uint32_t budget = limits.maxTags;
    root_.declaredFrames = header_.declaredFrames;
    ParseTimeline(r.Position(), data_.size(), root_, 0, limits, budget);
    return true;
}

bool SwfMovie::ParseTimeline(size_t begin, size_t end, SwfTimeline& timeline, int depth,
                             const SwfLimits& limits, uint32_t& tagBudget) {
    std::span<const uint8_t> all(data_);
    SwfBitReader r(all.subspan(0, end));
    r.Seek(begin);
    SwfFrame current;
    bool sawEnd = false;
    auto note = [this](const std::string& text) {
        if (warning_.empty())
            warning_ = text;
    };
    while (!r.AtEnd()) {
        if (tagBudget == 0) {
            note("the movie holds more than " + std::to_string(limits.maxTags) +
                 " tags; the rest is ignored");
            break;
        }
        --tagBudget;
        size_t tagStart = r.Position();
        uint16_t codeAndLength = r.U16();
        uint32_t length = codeAndLength & 0x3F;
        if (length == 0x3F)
            length = r.U32();
        if (r.Overrun()) {
            note("a tag header at byte " + std::to_string(tagStart) + " is cut short");
            break;
        }
        SwfTag tag;
        tag.code = static_cast<uint16_t>(codeAndLength >> 6);
        tag.offset = static_cast<uint32_t>(r.Position());
        if (length > r.Remaining()) {
            note("the " + TagName(tag.code) + " tag at byte " + std::to_string(tagStart) +
                 " claims " + std::to_string(length) + " bytes but only " +
                 std::to_string(r.Remaining()) + " remain");
            break;
        }
        tag.body = all.subspan(tag.offset, length);
        r.Skip(length);
        ++statistics_[tag.code];
        if (tag.code == TagEnd) {
            sawEnd = true;
            break;
        }
        if (tag.code == TagShowFrame) {
            if (timeline.frames.size() >= limits.maxFrames) {
                note("a timeline holds more than " + std::to_string(limits.maxFrames) +
                     " frames; the rest is ignored");
                break;
            }
            current.tagCount = static_cast<uint32_t>(timeline.tags.size()) - current.firstTag;
            timeline.frames.push_back(std::move(current));
            current = SwfFrame{};
            current.firstTag = static_cast<uint32_t>(timeline.tags.size());
            continue;
        }
        if (tag.body.size() >= 2 && DefinitionCodes().count(tag.code)) {
            uint16_t id = static_cast<uint16_t>(tag.body[0] | (tag.body[1] << 8));
            definitions_.emplace(id, tag); // the first definition of an id wins
            if (tag.code == TagDefineSprite && tag.body.size() >= 4) {
                if (depth + 1 > limits.maxSpriteDepth) {
                    note("sprites are nested more than " + std::to_string(limits.maxSpriteDepth) +
                         " deep; the inner ones are ignored");
                } else if (!sprites_.count(id)) {
                    SwfTimeline& sprite = sprites_[id];
                    sprite.characterId = id;
                    sprite.declaredFrames = static_cast<uint16_t>(tag.body[2] | (tag.body[3] << 8));
                    ParseTimeline(tag.offset + 4, tag.offset + tag.body.size(), sprite, depth + 1,
                                  limits, tagBudget);
                }
            }
        }
        if (tag.code == TagJPEGTables && jpegTables_.empty())
            jpegTables_ = tag.body;
        if (tag.code == TagSetBackgroundColor && tag.body.size() >= 3 && depth == 0)
            background_ = (tag.body[0] << 16) | (tag.body[1] << 8) | tag.body[2];
        if (tag.code == TagFrameLabel && current.label.empty()) {
            SwfBitReader lr(tag.body);
            current.label = lr.String();
        }
        if (IsSoundTriggerTag(tag.code))
            current.soundTags.push_back(static_cast<uint32_t>(timeline.tags.size()));
        timeline.tags.push_back(tag);
    }
    (void)sawEnd;
    // Tags after the last ShowFrame make a frame only when the timeline has no other:
    // Flash never shows them otherwise.
    if (timeline.frames.empty() && timeline.tags.size() > current.firstTag) {
        current.tagCount = static_cast<uint32_t>(timeline.tags.size()) - current.firstTag;
        timeline.frames.push_back(std::move(current));
    }
    if (timeline.declaredFrames != 0 && timeline.declaredFrames < timeline.frames.size())
        timeline.frames.resize(timeline.declaredFrames);
    return true;
}

const SwfTimeline* SwfMovie::Sprite(uint16_t characterId) const {
    auto it = sprites_.find(characterId);
    return it == sprites_.end() ? nullptr : &it->second;
}

const SwfTag* SwfMovie::DefinitionTag(uint16_t characterId) const {
    auto it = definitions_.find(characterId);
    return it == definitions_.end() ? nullptr : &it->second;
}

} // namespace omm::swf
