#include "platform/swf/SwfStage.h"

#include <algorithm>
#include <cmath>
#include <variant>

namespace omm::swf {

namespace {

// Guards against movies that would never give the clock back.
constexpr int MaxNesting = 32;               // sprites inside sprites at run time
constexpr size_t MaxInstances = 20000;       // live sprite instances
constexpr int MaxFramesEnteredPerTick = 256; // gotos landing within one tick
constexpr int MaxActionsPerTick = 100000;    // action records run within one tick
constexpr size_t MaxStack = 4096;

constexpr uint16_t TagFreeCharacter = 3;

using Value = std::variant<double, std::string>;

bool Truthy(const Value& v) {
    if (auto d = std::get_if<double>(&v))
        return *d != 0 && !std::isnan(*d);
    return !std::get<std::string>(v).empty();
}

} // namespace

SwfStage::SwfStage(std::shared_ptr<const SwfMovie> movie) : movie_(std::move(movie)) {
    root_ = std::make_shared<Instance>();
    root_->timeline = &movie_->Root();
    root_->playing = true;
    auto indexVideo = [this](const SwfTimeline& t) {
        for (const auto& tag : t.tags) {
            if (tag.code == TagVideoFrame && tag.body.size() >= 4) {
                uint16_t stream = static_cast<uint16_t>(tag.body[0] | (tag.body[1] << 8));
                uint16_t frame = static_cast<uint16_t>(tag.body[2] | (tag.body[3] << 8));
                videoFrames_[stream].emplace(frame, &tag);
            }
        }
    };
    indexVideo(movie_->Root());
    for (const auto& [id, tag] : movie_->Definitions())
        if (const SwfTimeline* sprite = movie_->Sprite(id))
            indexVideo(*sprite);
}

SwfStage::~SwfStage() = default;

void SwfStage::Guard(const std::string& note) {
    if (guardNote_.empty())
        guardNote_ = note;
}

SwfFrameEvent& SwfStage::CurrentEvent() {
    if (!eventOpen_ || events_.empty()) {
        SwfFrameEvent e;
        e.frame = static_cast<uint32_t>(CurrentFrame());
        events_.push_back(std::move(e));
        eventOpen_ = true;
    }
    return events_.back();
}

std::vector<SwfFrameEvent> SwfStage::TakeEvents() {
    std::vector<SwfFrameEvent> out;
    out.swap(events_);
    eventOpen_ = false;
    return out;
}

void SwfStage::Start() {
    if (root_->frame >= 0)
        return;
    framesEnteredThisTick_ = 0;
    if (TotalFrames() > 0)
        Goto(root_, 0, false);
    RunActions();
    eventOpen_ = false;
}

void SwfStage::GotoFrame(int frame) {
    framesEnteredThisTick_ = 0;
    if (TotalFrames() == 0)
        return;
    frame = std::clamp(frame, 0, TotalFrames() - 1);
    Goto(root_, frame, root_->frame >= 0 && frame == root_->frame + 1);
    RunActions();
    eventOpen_ = false;
}

void SwfStage::CollectInstances(const std::shared_ptr<Instance>& inst,
                                std::vector<std::weak_ptr<Instance>>& out) {
    for (auto& [depth, obj] : inst->list) {
        if (obj.sprite) {
            out.push_back(obj.sprite);
            CollectInstances(obj.sprite, out);
        }
    }
}

void SwfStage::Tick(bool loop) {
    ++tick_;
    framesEnteredThisTick_ = 0;
    std::vector<std::weak_ptr<Instance>> sprites;
    CollectInstances(root_, sprites);
    if (root_->frame < 0) {
        Start();
    } else if (root_->playing && TotalFrames() > 0) {
        int next = root_->frame + 1;
        if (next >= TotalFrames()) {
            if (loop && TotalFrames() > 1)
                Goto(root_, 0, false);
            else
                root_->playing = false;
        } else {
            Goto(root_, next, true);
        }
    }
    for (auto& weak : sprites) {
        auto inst = weak.lock();
        if (!inst || inst->bornTick >= tick_ || !inst->playing)
            continue;
        int count = static_cast<int>(inst->timeline->FrameCount());
        if (count <= 1)
            continue;
        int next = inst->frame + 1;
        Goto(inst, next >= count ? 0 : next, next < count);
    }
    RunActions();
    eventOpen_ = false;
}

void SwfStage::Goto(const std::shared_ptr<Instance>& inst, int frame, bool sequential) {
    int count = static_cast<int>(inst->timeline->FrameCount());
    if (count == 0)
        return;
    frame = std::clamp(frame, 0, count - 1);
    if (frame == inst->frame)
        return;
    if (++framesEnteredThisTick_ > MaxFramesEnteredPerTick) {
        Guard("the movie's actions jump between frames without end; the jumps were cut short");
        actions_.clear();
        return;
    }
    bool isRoot = inst == root_;
    if (isRoot && (inst->frame < 0 || frame < inst->frame)) {
        // A new pass of the main timeline starts with the main timeline's
        // definitions only: what was defined later is not defined yet.
        defs_.clear();
        fontInfo_.clear();
        lastVideoFrame_.clear();
    }
    if (frame < inst->frame || inst->frame < 0) {
        std::map<uint16_t, DisplayObject> old;
        old.swap(inst->list);
        for (int f = 0; f < frame; ++f)
            EnterFrame(inst, f, Mode::Replay, &old, false);
        inst->frame = frame;
        EnterFrame(inst, frame, Mode::Enter, &old, false);
        for (auto& [depth, obj] : old)
            Ended(obj);
    } else {
        for (int f = inst->frame + 1; f < frame; ++f)
            EnterFrame(inst, f, Mode::Replay, nullptr, false);
        inst->frame = frame;
        EnterFrame(inst, frame, Mode::Enter, nullptr, sequential);
    }
    // Sprites placed while catching up start now, on the frame that is shown.
    for (auto& [depth, obj] : inst->list)
        if (obj.sprite && obj.sprite->frame < 0)
            Goto(obj.sprite, 0, false);
}

void SwfStage::Ended(DisplayObject& obj) {
    if (!obj.sprite)
        return;
    for (auto& [depth, child] : obj.sprite->list)
        Ended(child);
    CurrentEvent().endedInstances.push_back(obj.sprite->id);
    obj.sprite->list.clear();
    obj.sprite.reset();
    if (liveInstances_ > 0)
        --liveInstances_;
}

void SwfStage::Remove(Instance& inst, uint16_t depth) {
    auto it = inst.list.find(depth);
    if (it == inst.list.end())
        return;
    Ended(it->second);
    inst.list.erase(it);
}

void SwfStage::EnterFrame(const std::shared_ptr<Instance>& inst, int frame, Mode mode,
                          std::map<uint16_t, DisplayObject>* reuse, bool sequential) {
    const SwfTimeline& t = *inst->timeline;
    if (frame < 0 || static_cast<size_t>(frame) >= t.frames.size())
        return;
    bool isRoot = inst == root_;
    const SwfFrame& f = t.frames[static_cast<size_t>(frame)];
    if (mode == Mode::Enter && isRoot) {
        SwfFrameEvent e;
        e.frame = static_cast<uint32_t>(frame);
        e.sequential = sequential;
        events_.push_back(std::move(e));
        eventOpen_ = true;
    }
    for (uint32_t i = f.firstTag; i < f.firstTag + f.tagCount && i < t.tags.size(); ++i) {
        const SwfTag& tag = t.tags[i];
        switch (tag.code) {
        case TagPlaceObject:
        case TagPlaceObject2:
        case TagPlaceObject3:
            Place(inst, tag, reuse, mode);
            break;
        case TagRemoveObject:
            if (tag.body.size() >= 4)
                Remove(*inst, static_cast<uint16_t>(tag.body[2] | (tag.body[3] << 8)));
            break;
        case TagRemoveObject2:
            if (tag.body.size() >= 2)
                Remove(*inst, static_cast<uint16_t>(tag.body[0] | (tag.body[1] << 8)));
            break;
        case TagFreeCharacter:
            break; // the next definition of the id replaces it
        case TagDefineFontInfo:
        case TagDefineFontInfo2:
            if (isRoot && tag.body.size() >= 2)
                fontInfo_[static_cast<uint16_t>(tag.body[0] | (tag.body[1] << 8))] = &tag;
            break;
        case TagVideoFrame:
            if (tag.body.size() >= 4)
                lastVideoFrame_[static_cast<uint16_t>(tag.body[0] | (tag.body[1] << 8))] =
                    static_cast<uint16_t>(tag.body[2] | (tag.body[3] << 8));
            break;
        case TagDoAction:
            if (mode == Mode::Enter)
                actions_.push_back({inst, tag.body});
            break;
        default:
            if (IsSoundTriggerTag(tag.code) && mode == Mode::Enter) {
                SwfSoundEvent s;
                s.tag = &tag;
                s.instance = inst->id;
                s.spriteId = inst->spriteId;
                s.timelineFrame = static_cast<uint32_t>(frame);
                s.sequential = sequential;
                CurrentEvent().sounds.push_back(s);
            } else if (isRoot && tag.body.size() >= 2 && IsDefinitionTag(tag.code)) {
                defs_[static_cast<uint16_t>(tag.body[0] | (tag.body[1] << 8))] = &tag;
            }
            break;
        }
    }
}

} // namespace omm::swf

namespace omm::swf {

std::shared_ptr<SwfStage::Instance> SwfStage::NewSprite(const SwfTag& def, int nesting,
                                                        std::map<uint16_t, DisplayObject>* reuse,
                                                        uint16_t depth) {
    if (reuse) {
        auto it = reuse->find(depth);
        if (it != reuse->end() && it->second.def == &def && it->second.sprite) {
            auto kept = std::move(it->second.sprite);
            reuse->erase(it);
            return kept;
        }
    }
    uint16_t id = static_cast<uint16_t>(def.body[0] | (def.body[1] << 8));
    const SwfTimeline* timeline = movie_->Sprite(id);
    if (!timeline)
        return nullptr;
    if (nesting >= MaxNesting) {
        Guard("sprites are nested more than " + std::to_string(MaxNesting) +
              " deep (a sprite places itself?); the inner ones are not shown");
        return nullptr;
    }
    if (liveInstances_ >= MaxInstances) {
        Guard("the movie places more than " + std::to_string(MaxInstances) +
              " sprites; the rest are not shown");
        return nullptr;
    }
    auto inst = std::make_shared<Instance>();
    inst->timeline = timeline;
    inst->id = nextInstanceId_++;
    inst->spriteId = id;
    inst->nesting = nesting;
    inst->bornTick = tick_;
    ++liveInstances_;
    return inst;
}

void SwfStage::Place(const std::shared_ptr<Instance>& inst, const SwfTag& tag,
                     std::map<uint16_t, DisplayObject>* reuse, Mode mode) {
    SwfBitReader r(tag.body);
    bool move = false, hasCharacter = false, hasMatrix = false, hasCx = false, hasRatio = false,
         hasName = false, hasClip = false;
    uint16_t depth = 0, id = 0, ratio = 0, clipDepth = 0;
    QTransform matrix;
    SwfColorTransform cx;
    std::string name;
    if (tag.code == TagPlaceObject) {
        id = r.U16();
        depth = r.U16();
        matrix = ReadMatrix(r);
        hasCharacter = hasMatrix = true;
        if (!r.AtEnd() && !r.Overrun()) {
            cx = ReadColorTransform(r, false);
            hasCx = true;
        }
    } else {
        uint8_t flags = r.U8();
        uint8_t flags2 = tag.code == TagPlaceObject3 ? r.U8() : 0;
        depth = r.U16();
        move = flags & 0x01;
        hasCharacter = flags & 0x02;
        hasMatrix = flags & 0x04;
        hasCx = flags & 0x08;
        hasRatio = flags & 0x10;
        hasName = flags & 0x20;
        hasClip = flags & 0x40;
        if ((flags2 & 0x08) || ((flags2 & 0x10) && hasCharacter))
            r.String(); // class name
        if (hasCharacter)
            id = r.U16();
        if (hasMatrix)
            matrix = ReadMatrix(r);
        if (hasCx)
            cx = ReadColorTransform(r, true);
        if (hasRatio)
            ratio = r.U16();
        if (hasName)
            name = r.String();
        if (hasClip)
            clipDepth = r.U16();
    }
    if (r.Overrun() && !hasCharacter && !move)
        return;
    auto it = inst->list.find(depth);
    // The fields a place tag carries override those of the object it places or moves.
    auto applyChanges = [&](DisplayObject& obj) {
        if (hasMatrix)
            obj.matrix = matrix;
        if (hasCx)
            obj.cx = cx;
        if (hasRatio) {
            obj.ratio = ratio;
            obj.hasRatio = true;
        }
        if (hasName)
            obj.name = name;
        if (hasClip)
            obj.clipDepth = clipDepth;
    };
    if (!hasCharacter) {
        if (it == inst->list.end())
            return;
        applyChanges(it->second);
        return;
    }
    auto def = defs_.find(id);
    if (def == defs_.end())
        return; // a character that is not defined (yet) shows nothing
    DisplayObject obj;
    if (move && it != inst->list.end()) {
        obj.matrix = it->second.matrix;
        obj.cx = it->second.cx;
        obj.ratio = it->second.ratio;
        obj.hasRatio = it->second.hasRatio;
        obj.clipDepth = it->second.clipDepth;
        obj.name = it->second.name;
    }
    obj.depth = depth;
    obj.id = id;
    obj.def = def->second;
    applyChanges(obj);
    // The same sprite placed again at its depth keeps running (as after a jump).
    if (it != inst->list.end() && it->second.def == obj.def && it->second.sprite) {
        obj.sprite = std::move(it->second.sprite);
        inst->list.erase(it);
    } else {
        if (it != inst->list.end())
            Remove(*inst, depth);
        if (obj.def->code == TagDefineSprite && obj.def->body.size() >= 4)
            obj.sprite = NewSprite(*obj.def, inst->nesting + 1, reuse, depth);
    }
    auto placed = inst->list.insert_or_assign(depth, std::move(obj)).first;
    if (mode == Mode::Enter && placed->second.sprite && placed->second.sprite->frame < 0)
        Goto(placed->second.sprite, 0, false);
}

void SwfStage::RunActions() {
    actionStepsThisTick_ = 0;
    while (!actions_.empty()) {
        PendingActions next = actions_.front();
        actions_.pop_front();
        auto inst = next.inst.lock();
        if (!inst)
            continue;
        RunActionBlock(inst, next.code);
        if (actionStepsThisTick_ > MaxActionsPerTick) {
            Guard("the movie's actions run without end; they were stopped");
            actions_.clear();
        }
    }
}

namespace {

// Finds a sprite instance by a target path ("name", "/a/b", "_root.a", "_parent").
std::shared_ptr<SwfStage::Instance> FindTarget(const std::shared_ptr<SwfStage::Instance>& root,
                                               const std::shared_ptr<SwfStage::Instance>& self,
                                               const std::string& path) {
    if (path.empty() || path == "this")
        return self;
    std::string rest = path;
    auto current = self;
    if (rest[0] == '/') {
        current = root;
        rest.erase(0, 1);
    } else if (rest.rfind("_root", 0) == 0) {
        current = root;
        rest.erase(0, 5);
    } else if (rest.rfind("_level0", 0) == 0) {
        current = root;
        rest.erase(0, 7);
    }
    size_t pos = 0;
    while (pos < rest.size() && current) {
        size_t end = rest.find_first_of("/.", pos);
        if (end == std::string::npos)
            end = rest.size();
        std::string part = rest.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty())
            continue;
        std::shared_ptr<SwfStage::Instance> found;
        for (auto& [depth, obj] : current->list)
            if (obj.sprite && obj.name == part)
                found = obj.sprite;
        current = found;
    }
    return current;
}

} // namespace

void SwfStage::RunActionBlock(const std::shared_ptr<Instance>& self,
                              std::span<const uint8_t> code) {
    std::vector<Value> stack;
    std::vector<std::string> constants;
    auto target = self;
    auto pop = [&stack]() -> Value {
        if (stack.empty())
            return std::string();
        Value v = std::move(stack.back());
        stack.pop_back();
        return v;
    };
    auto push = [&stack](Value v) {
        if (stack.size() < MaxStack)
            stack.push_back(std::move(v));
    };
    auto gotoFrame = [this, &target](int frame, bool play) {
        if (!target)
            return;
        target->playing = play;
        Goto(target, frame, target->frame >= 0 && frame == target->frame + 1);
    };
    auto gotoValue = [&](const Value& v, int bias, bool play) {
        if (!target)
            return;
        if (auto d = std::get_if<double>(&v)) {
            if (std::isfinite(*d))
                gotoFrame(static_cast<int>(std::clamp(*d, -1e6, 1e6)) - 1 + bias, play);
            return;
        }
        std::string s = std::get<std::string>(v);
        auto colon = s.rfind(':');
        auto saved = target;
        if (colon != std::string::npos) {
            target = FindTarget(root_, self, s.substr(0, colon));
            s = s.substr(colon + 1);
        }
        if (target) {
            char* end = nullptr;
            long n = std::strtol(s.c_str(), &end, 10);
            if (!s.empty() && end && *end == 0)
                gotoFrame(static_cast<int>(std::clamp<long>(n, -1000000, 1000000)) - 1 + bias,
                          play);
            else if (int f = target->timeline->FindLabel(s); f >= 0)
                gotoFrame(f, play);
        }
        target = saved;
    };

    size_t pc = 0;
    while (pc < code.size()) {
        if (++actionStepsThisTick_ > MaxActionsPerTick)
            return;
        uint8_t op = code[pc++];
        if (op == 0)
            break;
        size_t length = 0;
        if (op >= 0x80) {
            if (pc + 2 > code.size())
                break;
            length = code[pc] | (code[pc + 1] << 8);
            pc += 2;
        }
        if (length > code.size() - pc)
            break;
        std::span<const uint8_t> body = code.subspan(pc, length);
        size_t next = pc + length;
        SwfBitReader r(body);
        switch (op) {
        case 0x04: // NextFrame
            if (target)
                gotoFrame(target->frame + 1, false);
            break;
        case 0x05: // PrevFrame
            if (target)
                gotoFrame(target->frame - 1, false);
            break;
        case 0x06: // Play
            if (target)
                target->playing = true;
            break;
        case 0x07: // Stop
            if (target)
                target->playing = false;
            break;
        case 0x81: // GotoFrame
            gotoFrame(r.U16(), false);
            break;
        case 0x8C: // GotoLabel
            if (target)
                if (int f = target->timeline->FindLabel(r.String()); f >= 0)
                    gotoFrame(f, false);
            break;
        case 0x9F: { // GotoFrame2
            uint8_t flags = r.U8();
            int bias = (flags & 0x02) ? r.U16() : 0;
            gotoValue(pop(), bias, flags & 0x01);
            break;
        }
        case 0x8B: // SetTarget
            target = FindTarget(root_, self, r.String());
            break;
        case 0x20: { // SetTarget2
            Value v = pop();
            target =
                FindTarget(root_, self,
                           std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : "");
            break;
        }
        case 0x88: { // ConstantPool
            constants.clear();
            uint16_t count = r.U16();
            for (int i = 0; i < count && !r.AtEnd(); ++i)
                constants.push_back(r.String());
            break;
        }
        case 0x96: // Push
            while (!r.AtEnd() && !r.Overrun()) {
                uint8_t type = r.U8();
                switch (type) {
                case 0:
                    push(r.String());
                    break;
                case 1:
                    push(static_cast<double>(r.Float()));
                    break;
                case 2:
                case 3:
                    push(std::string());
                    break;
                case 4:
                    r.U8();
                    push(std::string());
                    break;
                case 5:
                    push(static_cast<double>(r.U8() != 0));
                    break;
                case 6:
                    push(r.Double());
                    break;
                case 7:
                    push(static_cast<double>(static_cast<int32_t>(r.U32())));
                    break;
                case 8: {
                    uint8_t i = r.U8();
                    push(i < constants.size() ? Value(constants[i]) : Value(std::string()));
                    break;
                }
                case 9: {
                    uint16_t i = r.U16();
                    push(i < constants.size() ? Value(constants[i]) : Value(std::string()));
                    break;
                }
                default:
                    r.Skip(r.Remaining());
                    break;
                }
            }
            break;
        case 0x17: // Pop
            pop();
            break;
        case 0x12: // Not
            push(static_cast<double>(!Truthy(pop())));
            break;
        case 0x99:   // Jump
        case 0x9D: { // If
            int16_t offset = r.S16();
            bool jump = op == 0x99 || Truthy(pop());
            if (jump) {
                auto dest = static_cast<int64_t>(next) + offset;
                if (dest < 0 || dest > static_cast<int64_t>(code.size()))
                    return;
                next = static_cast<size_t>(dest);
            }
            break;
        }
        default:
            break; // every other action is not part of the timeline's control
        }
        pc = next;
    }
}

} // namespace omm::swf
