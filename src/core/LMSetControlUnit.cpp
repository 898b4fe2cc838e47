#include "core/LMSetControlUnit.h"

#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"

TLMSetControl::TLMSetControl(TPublicConst* Target)
    : GUI(std::make_unique<TLMSetGUI>(*this)), Target_(Target) {}

TLMSetControl::~TLMSetControl() = default;

TPublicConst* TLMSetControl::Target() const {
    if (Target_)
        return Target_;
    return PublicRoot ? PublicRoot->PublicConst.get() : nullptr;
}

void TLMSetControl::SetModel(const std::string& Name) {
    TPublicConst* target = Target();
    if (!target)
        return;
    GUI->CalcScreenSize(false);
    std::unique_ptr<TLMSetConst> probe = CreateModelSet(Name);
    if (!probe)
        return;
    if (target->LMSet && IsModelSetOf(*target->LMSet, Name))
        return; // same class: the set, its profile and the batch stay
    // The old set goes first, with its profile and batch; the new one starts from class
    // defaults until the settings are read again.
    target->LMSet.reset();
    target->ReplaceModelSet(std::move(probe));
    GUI->ApplyScreenChange();
}
