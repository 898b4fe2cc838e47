#pragma once
// Model sets: one object per device model answering its name, its screen and, for the
// models that take device video, its video profile. The current set is replaced whole on
// every model switch, so never keep a pointer to it (or to its profile) across a switch.
//
// Every set is complete once its constructor returns: the public constructor of each
// class runs the virtual InitModel chain of the most derived class, in which each class
// first fills its own empty fields, then calls its parent, and last sets ModelName, so
// the most derived class wins for every field.

#include "settings/LMSetScreenSizeUnit.h"
#include "settings/LMSetVideoInfoUnit.h"

#include <memory>
#include <string>
#include <vector>

class TLMSetConst {
public:
    TLMSetConst() : TLMSetConst(NoInit{}) { InitModel(); }
    virtual ~TLMSetConst() = default;
    TLMSetConst(const TLMSetConst&) = delete;
    TLMSetConst& operator=(const TLMSetConst&) = delete;

    std::unique_ptr<TLMSetScreenSize> ScreenSize;
    std::string ModelName;
    std::vector<std::string> ModelList; // the ten model names in list order
    std::unique_ptr<TLMSetVideoInfo> VideoInfo;

    // True for the models that may run the OAVI kind (their profile has video constants).
    bool HasVideoFormat() const { return VideoInfo && VideoInfo->HasVideoFormat(); }

protected:
    struct NoInit {};
    explicit TLMSetConst(NoInit);
    virtual void InitModel();
};

#define OMM_MODEL_SET_CLASS(Name, Parent)                                                          \
    class Name : public Parent {                                                                   \
    public:                                                                                        \
        Name() : Parent(NoInit{}) { InitModel(); }                                                 \
                                                                                                   \
    protected:                                                                                     \
        explicit Name(NoInit tag) : Parent(tag) {}                                                 \
        void InitModel() override;                                                                 \
    };

OMM_MODEL_SET_CLASS(TLMSetConst_LM17, TLMSetConst)
OMM_MODEL_SET_CLASS(TLMSetConst_LM23, TLMSetConst_LM17)
OMM_MODEL_SET_CLASS(TLMSetConst_LM24, TLMSetConst_LM17)
OMM_MODEL_SET_CLASS(TLMSetConst_LM24A, TLMSetConst)
OMM_MODEL_SET_CLASS(TLMSetConst_LM36A, TLMSetConst_LM24A)
OMM_MODEL_SET_CLASS(TLMSetConst_LM36T, TLMSetConst_LM24A)
OMM_MODEL_SET_CLASS(TLMSetConst_LM75, TLMSetConst)
OMM_MODEL_SET_CLASS(TLMSetConst_LM52, TLMSetConst_LM75)
OMM_MODEL_SET_CLASS(TLMSetConst_LM41, TLMSetConst_LM75)
OMM_MODEL_SET_CLASS(TLMSetConst_LM52A, TLMSetConst_LM52) // the model "LM63"

#undef OMM_MODEL_SET_CLASS

// The ten model names in list order ("LM17" ... "LM63").
const std::vector<std::string>& ModelNames();

// A new set for a model name, compared without regard to letter case; null when the
// name is not one of the ten models.
std::unique_ptr<TLMSetConst> CreateModelSet(const std::string& Name);

// True when Set is exactly of the class that serves the model Name (case-insensitive).
bool IsModelSetOf(const TLMSetConst& Set, const std::string& Name);
