#include "settings/LMSetConstUnit.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <typeinfo>

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

template <class Field, class Made> void createIfEmpty(std::unique_ptr<Field>& field) {
    if (!field)
        field = std::make_unique<Made>();
}

struct ModelClass {
    const char* name;
    std::function<std::unique_ptr<TLMSetConst>()> create;
    const std::type_info& type;
};

template <class Set> ModelClass entry(const char* name) {
    return {name, [] { return std::unique_ptr<TLMSetConst>(new Set); }, typeid(Set)};
}

// The order in which SetModel compares names; the first match wins.
const std::vector<ModelClass>& modelClasses() {
    static const std::vector<ModelClass> classes{
        entry<TLMSetConst_LM17>("LM17"),   entry<TLMSetConst_LM23>("LM23"),
        entry<TLMSetConst_LM24>("LM24"),   entry<TLMSetConst_LM24A>("LM24+"),
        entry<TLMSetConst_LM75>("LM75"),   entry<TLMSetConst_LM36T>("LM36T"),
        entry<TLMSetConst_LM36A>("LM36+"), entry<TLMSetConst_LM52>("LM52"),
        entry<TLMSetConst_LM41>("LM41"),   entry<TLMSetConst_LM52A>("LM63"),
    };
    return classes;
}

const ModelClass* findClass(const std::string& name) {
    const std::string wanted = upper(name);
    for (const auto& c : modelClasses())
        if (wanted == c.name)
            return &c;
    return nullptr;
}

} // namespace

const std::vector<std::string>& ModelNames() {
    static const std::vector<std::string> names{"LM17",  "LM23", "LM24", "LM24+", "LM36+",
                                                "LM36T", "LM75", "LM52", "LM41",  "LM63"};
    return names;
}

TLMSetConst::TLMSetConst(NoInit) : ModelList(ModelNames()) {}

void TLMSetConst::InitModel() {
    ModelName = "LM63";
    createIfEmpty<TLMSetVideoInfo, TLMSetVideoInfo>(VideoInfo);
    createIfEmpty<TLMSetScreenSize, TLMSetScreenSize>(ScreenSize);
}

void TLMSetConst_LM17::InitModel() {
    createIfEmpty<TLMSetScreenSize, TLMSetScreenSize>(ScreenSize);
    TLMSetConst::InitModel();
    ModelName = "LM17";
}

void TLMSetConst_LM23::InitModel() {
    TLMSetConst_LM17::InitModel();
    ModelName = "LM23";
}

void TLMSetConst_LM24::InitModel() {
    TLMSetConst_LM17::InitModel();
    ModelName = "LM24";
}

void TLMSetConst_LM24A::InitModel() {
    createIfEmpty<TLMSetScreenSize, TLMSetScreenSize>(ScreenSize);
    TLMSetConst::InitModel();
    ModelName = "LM24+";
}

void TLMSetConst_LM36A::InitModel() {
    TLMSetConst_LM24A::InitModel();
    ModelName = "LM36+";
}

void TLMSetConst_LM36T::InitModel() {
    TLMSetConst_LM24A::InitModel();
    ModelName = "LM36T";
}

void TLMSetConst_LM75::InitModel() {
    createIfEmpty<TLMSetScreenSize, TLMSetSCreenSize_LM75>(ScreenSize);
    TLMSetConst::InitModel();
    ModelName = "LM75";
}

void TLMSetConst_LM52::InitModel() {
    createIfEmpty<TLMSetVideoInfo, TLMSetVideoInfo_LM52>(VideoInfo);
    TLMSetConst_LM75::InitModel();
    ModelName = "LM52";
}

void TLMSetConst_LM41::InitModel() {
    createIfEmpty<TLMSetVideoInfo, TLMSetVideoInfo_LM41>(VideoInfo);
    TLMSetConst_LM75::InitModel();
    ModelName = "LM41";
}

void TLMSetConst_LM52A::InitModel() {
    createIfEmpty<TLMSetVideoInfo, TLMSetVideoInfo_LM52A>(VideoInfo);
    TLMSetConst_LM52::InitModel();
    ModelName = "LM63";
}

std::unique_ptr<TLMSetConst> CreateModelSet(const std::string& Name) {
    const ModelClass* c = findClass(Name);
    return c ? c->create() : nullptr;
}

bool IsModelSetOf(const TLMSetConst& Set, const std::string& Name) {
    const ModelClass* c = findClass(Name);
    return c && typeid(Set) == c->type;
}
