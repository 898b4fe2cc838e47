#pragma once
// The root object graph. Everything that lives longer than one conversion hangs off the
// one root `PublicRoot`; the only member ever replaced is the current model set
// (`PublicConst->LMSet`), so nothing may keep a pointer to it across a model switch.
//
// Each holder creates its members in its constructor and frees them in its destructor,
// one line per member in the fixed order, so members added later slot in at one place.

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;
class TDistillSound;
class TFlashComponent;
class TFlashResManager;
class TLMSetConst;
class TLMSetControl;
class TMediaResManager;
class TOAVITranslateControl;
class TProgressSink;
class TSystemParameter;
class TVideoControl;

// ---- Message box ------------------------------------------------------------------------

// Button sets chosen by the low four bits of Flags: caption and the result each returns
// (the values of the system message box: 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6
// Yes, 7 No). Sets 6 to 15 are not configured and give one "确定" button.
struct TMessageBoxButton {
    std::string Caption;
    int Result = 1;
};
std::vector<TMessageBoxButton> MessageBoxButtons(int Flags);

enum class TMessageBoxIcon { None, Stop, Question, Warning, Information };
TMessageBoxIcon MessageBoxIcon(int Flags); // from Flags and 240

struct TMessageBoxRequest {
    std::string Text;
    std::string Caption;
    int Flags = 48;
    int UIStyle = 3;
};

class TPublicFunction {
public:
    // Shows a modal message box and returns the result of the button pressed. The GUI
    // installs the dialog with SetMessageBoxPresenter. Without one (command line, tests)
    // the message is written to stderr as "Caption: Text" and the result of the set's
    // first button is returned, which is what an unattended run would have to choose.
    int ShowMessageBox(const std::string& Text, const std::string& Caption, int Flags = 48,
                       int UIStyle = 3) const;

    using TPresenter = std::function<int(const TMessageBoxRequest&)>;
    // Installs (or with an empty function removes) the process-wide dialog.
    static void SetMessageBoxPresenter(TPresenter Presenter);
};

// ---- Holders ----------------------------------------------------------------------------

class TPublicConst {
public:
    // IniFileName empty: the default settings file location.
    explicit TPublicConst(const std::string& IniFileName = {});
    ~TPublicConst();
    TPublicConst(const TPublicConst&) = delete;
    TPublicConst& operator=(const TPublicConst&) = delete;

    std::string Title;
    std::string Version;
    std::unique_ptr<TLMSetConst> LMSet;
    std::unique_ptr<TSystemParameter> SystemParameter;

    void LoadSettings();
    void SaveSettings();

    // Replaces the current model set (freeing the old one with its profile) and wires the
    // new profile's SourceInfo to SystemParameter->VideoInfo.
    void ReplaceModelSet(std::unique_ptr<TLMSetConst> Set);

    // Deletes the folder Path with everything below it. Does nothing when Path is not an
    // existing folder (a symbolic link is not one). A symbolic link inside the tree is
    // removed as a link; what it points to is never touched. Entries that cannot be
    // deleted stay, and so do the folders holding them. The current directory of the
    // process is never changed. Reports nothing.
    static void DeleteTree(const std::string& Path);
};

// The video side. ProgramFolder: the folder holding vdub and libAudioPrep.so.
class TPublicComponent {
public:
    explicit TPublicComponent(const std::string& ProgramFolder);
    ~TPublicComponent();
    TPublicComponent(const TPublicComponent&) = delete;
    TPublicComponent& operator=(const TPublicComponent&) = delete;

    std::unique_ptr<TVideoControl> VideoControl;
    std::unique_ptr<TDistillSound> DistillSound;
};

class TPublicOperate {
public:
    TPublicOperate();
    ~TPublicOperate();
    // MediaTranslateControl and MediaPlayerControl join here.
};

class TPublicGUIComponent {
public:
    TPublicGUIComponent();
    ~TPublicGUIComponent();
    TPublicGUIComponent(const TPublicGUIComponent&) = delete;
    TPublicGUIComponent& operator=(const TPublicGUIComponent&) = delete;

    short SavedCursor = 0;
    bool Busy = false;
    std::unique_ptr<TLMSetControl> LMSetControl;
};

class TPublicObject {
public:
    TPublicObject(QObject* Form, const std::string& ProgramFolder);
    ~TPublicObject();
    TPublicObject(const TPublicObject&) = delete;
    TPublicObject& operator=(const TPublicObject&) = delete;

    QObject* OwnerForm = nullptr; // the main window; not owned
    // The wrapper of the window's Flash player; the window binds its control at start-up.
    std::unique_ptr<TFlashComponent> FlashComponent;
    std::unique_ptr<TPublicGUIComponent> GUIComponent;
    std::unique_ptr<TPublicComponent> PublicComponent;
    std::unique_ptr<TFlashResManager> FlashResManager;
    std::unique_ptr<TMediaResManager> MediaResManager; // the frame list of an OAVI conversion
    std::unique_ptr<TPublicOperate> PublicOperate;
};

class TPublic {
public:
    // Builds the graph: PublicFunction, PublicConst, PublicObject. Form may be null (no GUI).
    // ProgramFolder empty: the folder of the running program.
    explicit TPublic(QObject* Form = nullptr, const std::string& IniFileName = {},
                     const std::string& ProgramFolder = {});
    // Frees PublicFunction, then PublicConst, then PublicObject.
    ~TPublic();
    TPublic(const TPublic&) = delete;
    TPublic& operator=(const TPublic&) = delete;

    std::unique_ptr<TPublicObject> PublicObject;
    std::unique_ptr<TPublicConst> PublicConst;
    std::unique_ptr<TPublicFunction> PublicFunction;

    // A controller for one OAVI conversion of listed sources over this root's video
    // control, settings and frame list; it asks for the current model set on every use,
    // so it survives model switches. It refers to the root's members: free it first.
    std::unique_ptr<TOAVITranslateControl> NewOAVITranslateControl(TProgressSink& Progress);
};

// The root; null before the program builds it and after it is freed. Assign only a
// completely built root (PublicRoot = std::make_unique<TPublic>(...)), so that it is null
// while the graph is being built, and free it with PublicRoot.reset().
extern std::unique_ptr<TPublic> PublicRoot;

// Observes construction and destruction of the graph's members ("create X" / "free X",
// in order); for tests. Pass an empty function to stop.
void SetLifecycleObserver(std::function<void(const std::string&)> Observer);
