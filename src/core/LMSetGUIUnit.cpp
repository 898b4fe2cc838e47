#include "core/LMSetGUIUnit.h"

#include "core/LMSetControlUnit.h"
#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"

void TLMSetGUI::CalcScreenSize(bool AsNew) {
    const TPublicConst* target = Control_.Target();
    if (!target || !target->LMSet || !target->LMSet->ScreenSize)
        return;
    const TLMSetScreenSize& screen = *target->LMSet->ScreenSize;
    (AsNew ? NewWidth : OldWidth) = screen.ScaledWidth();
    (AsNew ? NewHeight : OldHeight) = screen.ScaledHeight();
}

void TLMSetGUI::ApplyScreenChange() {
    CalcScreenSize(true);
    if (Window) {
        TWindowRect rect = Window->WindowRect();
        rect.Width += NewWidth - OldWidth;
        rect.Height += NewHeight - OldHeight;
        rect.Left = (Window->ScreenWidth() - rect.Width) / 2;
        rect.Top = (Window->ScreenHeight() - rect.Height) / 2;
        Window->SetWindowRect(rect);
    }
    RefreshFlash();
}

void TLMSetGUI::InitMainWindow() {
    TPublicConst* target = Control_.Target();
    if (!target)
        return;
    if (Window) {
        Window->SetCaption(target->Title + " " + target->Version);
        Window->BindFlash();
    }
    target->LoadSettings();
}

void TLMSetGUI::RefreshFlash() {
    if (Window && Window->WindowVisible() && Window->FlashCanFocus() && Window->FlashVisible())
        Window->ReshowFlash();
}
