#include "core/PublicUnit.h"

#include "acquire/OAVITranslateControlUnit.h"
#include "acquire/VideoControlUnit.h"
#include "container/MediaResManagerUnit.h"
#include "core/LMSetControlUnit.h"
#include "oflash/FlashComponentUnit.h"
#include "oflash/FlashResManagerUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SettingsLocationUnit.h"
#include "settings/SystemParameterUnit.h"
#include "sound/uDistillSound.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

std::unique_ptr<TPublic> PublicRoot;

namespace {

std::function<void(const std::string&)>& lifecycleObserver() {
    static std::function<void(const std::string&)> observer;
    return observer;
}

void trace(const char* what, const char* member) {
    if (lifecycleObserver())
        lifecycleObserver()(std::string(what) + " " + member);
}

// One line per member in every holder: the trace comes first, so nested holders show
// their members after themselves.
template <class T, class... Args>
void create(std::unique_ptr<T>& member, const char* name, Args&&... args) {
    trace("create", name);
    member = std::make_unique<T>(std::forward<Args>(args)...);
}

template <class T> void release(std::unique_ptr<T>& member, const char* name) {
    trace("free", name);
    member.reset();
}

TPublicFunction::TPresenter& presenter() {
    static TPublicFunction::TPresenter current;
    return current;
}

// Empties the folder open as dirFd and removes what it can. Never follows a symbolic
// link: entries are examined with lstat semantics and folders are opened with
// O_NOFOLLOW, relative to their parent's descriptor, so the walk cannot leave the tree
// and needs no change of the current directory.
void emptyFolder(int dirFd) {
    int listFd = ::dup(dirFd);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            int childFd =
                ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0) {
                emptyFolder(childFd);
                ::close(childFd);
            }
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
}

} // namespace

void SetLifecycleObserver(std::function<void(const std::string&)> Observer) {
    lifecycleObserver() = std::move(Observer);
}

// ---- Message box ------------------------------------------------------------------------

std::vector<TMessageBoxButton> MessageBoxButtons(int Flags) {
    switch (Flags & 15) {
    case 1:
        return {{"确定", 1}, {"取消", 2}};
    case 2:
        return {{"中止", 3}, {"重试", 4}, {"忽略", 5}};
    case 3:
        return {{"是", 6}, {"否", 7}, {"取消", 2}};
    case 4:
        return {{"是", 6}, {"否", 7}};
    case 5:
        return {{"重试", 4}, {"取消", 2}};
    default:
        return {{"确定", 1}};
    }
}

TMessageBoxIcon MessageBoxIcon(int Flags) {
    switch (Flags & 240) {
    case 16:
        return TMessageBoxIcon::Stop;
    case 32:
        return TMessageBoxIcon::Question;
    case 48:
        return TMessageBoxIcon::Warning;
    case 64:
        return TMessageBoxIcon::Information;
    default:
        return TMessageBoxIcon::None;
    }
}

int TPublicFunction::ShowMessageBox(const std::string& Text, const std::string& Caption, int Flags,
                                    int UIStyle) const {
    if (presenter())
        return presenter()({Text, Caption, Flags, UIStyle});
    std::cerr << (Caption.empty() ? std::string() : Caption + ": ") << Text << std::endl;
    return MessageBoxButtons(Flags).front().Result;
}

void TPublicFunction::SetMessageBoxPresenter(TPresenter Presenter) {
    presenter() = std::move(Presenter);
}

// ---- TPublicConst -----------------------------------------------------------------------

TPublicConst::TPublicConst(const std::string& IniFileName) {
    create(SystemParameter, "SystemParameter", IniFileName);
    SystemParameter->SetModelSetProvider([this] { return LMSet.get(); });
    std::unique_ptr<TLMSetConst> startUp;
    create(startUp, "LMSet");
    ReplaceModelSet(std::move(startUp));
    Version = "V1.07.0711";
    Title = "OndrelMediaMaker(正式版)";
}

TPublicConst::~TPublicConst() {
    release(SystemParameter, "SystemParameter");
    release(LMSet, "LMSet");
}

void TPublicConst::LoadSettings() {
    SystemParameter->LoadAll();
}

void TPublicConst::SaveSettings() {
    SystemParameter->SaveAll();
}

void TPublicConst::ReplaceModelSet(std::unique_ptr<TLMSetConst> Set) {
    LMSet.reset();
    LMSet = std::move(Set);
    if (LMSet && LMSet->VideoInfo && SystemParameter)
        LMSet->VideoInfo->SourceInfo = SystemParameter->VideoInfo.get();
}

void TPublicConst::DeleteTree(const std::string& Path) {
    if (Path.empty())
        return;
    struct stat st {};
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    int fd = ::open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    emptyFolder(fd);
    ::close(fd);
    ::rmdir(Path.c_str()); // fails, leaving Path, when anything inside survived
}

// ---- Other holders ----------------------------------------------------------------------

TPublicComponent::TPublicComponent(const std::string& ProgramFolder) {
    create(VideoControl, "VideoControl", ProgramFolder);
    create(DistillSound, "DistillSound", ProgramFolder);
}

TPublicComponent::~TPublicComponent() {
    release(VideoControl, "VideoControl");
    release(DistillSound, "DistillSound");
}

TPublicOperate::TPublicOperate() = default;
TPublicOperate::~TPublicOperate() = default;

TPublicGUIComponent::TPublicGUIComponent() {
    Busy = false;
    create(LMSetControl, "LMSetControl");
}

TPublicGUIComponent::~TPublicGUIComponent() {
    release(LMSetControl, "LMSetControl");
}

TPublicObject::TPublicObject(QObject* Form, const std::string& ProgramFolder) {
    create(FlashComponent, "FlashComponent");
    OwnerForm = Form;
    create(PublicComponent, "PublicComponent", ProgramFolder);
    create(PublicOperate, "PublicOperate");
    create(GUIComponent, "GUIComponent");
    create(FlashResManager, "FlashResManager");
    create(MediaResManager, "MediaResManager");
}

// The users of a member go before what they use: the video control (whose extractor
// fills the frame list) before the frame list.
TPublicObject::~TPublicObject() {
    release(FlashComponent, "FlashComponent");
    release(GUIComponent, "GUIComponent");
    release(PublicComponent, "PublicComponent");
    release(PublicOperate, "PublicOperate");
    release(FlashResManager, "FlashResManager");
    release(MediaResManager, "MediaResManager");
}

TPublic::TPublic(QObject* Form, const std::string& IniFileName, const std::string& ProgramFolder) {
    create(PublicFunction, "PublicFunction");
    create(PublicConst, "PublicConst", IniFileName);
    create(PublicObject, "PublicObject", Form,
           ProgramFolder.empty() ? ::ProgramFolder() : ProgramFolder);
}

std::unique_ptr<TOAVITranslateControl> TPublic::NewOAVITranslateControl(TProgressSink& Progress) {
    TPublicConst* constants = PublicConst.get();
    return std::make_unique<TOAVITranslateControl>(
        *PublicObject->PublicComponent->VideoControl, *constants->SystemParameter,
        *PublicObject->MediaResManager, Progress, [constants] { return constants->LMSet.get(); });
}

TPublic::~TPublic() {
    release(PublicFunction, "PublicFunction");
    release(PublicConst, "PublicConst");
    release(PublicObject, "PublicObject");
}
