#include "core/PublicUnit.h"

#include <gtest/gtest.h>

namespace {

struct ButtonRow {
    int flags;
    std::vector<std::pair<std::string, int>> buttons;
};

class Buttons : public testing::TestWithParam<ButtonRow> {};

TEST_P(Buttons, LowBitsChooseTheSet) {
    std::vector<std::pair<std::string, int>> got;
    for (const auto& b : MessageBoxButtons(GetParam().flags))
        got.emplace_back(b.Caption, b.Result);
    EXPECT_EQ(got, GetParam().buttons);
}

INSTANTIATE_TEST_SUITE_P(Sets, Buttons,
                         testing::Values(ButtonRow{0, {{"确定", 1}}}, ButtonRow{48, {{"确定", 1}}},
                                         ButtonRow{1, {{"确定", 1}, {"取消", 2}}},
                                         ButtonRow{2, {{"中止", 3}, {"重试", 4}, {"忽略", 5}}},
                                         ButtonRow{3, {{"是", 6}, {"否", 7}, {"取消", 2}}},
                                         ButtonRow{32 + 4, {{"是", 6}, {"否", 7}}},
                                         ButtonRow{5, {{"重试", 4}, {"取消", 2}}},
                                         ButtonRow{9, {{"确定", 1}}}));

TEST(MessageBox, HighBitsChooseTheIcon) {
    EXPECT_EQ(MessageBoxIcon(16), TMessageBoxIcon::Stop);
    EXPECT_EQ(MessageBoxIcon(32 + 3), TMessageBoxIcon::Question);
    EXPECT_EQ(MessageBoxIcon(48), TMessageBoxIcon::Warning);
    EXPECT_EQ(MessageBoxIcon(64), TMessageBoxIcon::Information);
    EXPECT_EQ(MessageBoxIcon(0), TMessageBoxIcon::None);
    EXPECT_EQ(MessageBoxIcon(80), TMessageBoxIcon::None);
}

TEST(MessageBox, WithoutADialogTheMessageGoesToStderrAndTheFirstButtonAnswers) {
    TPublicFunction f;
    testing::internal::CaptureStderr();
    EXPECT_EQ(f.ShowMessageBox("当前机型不支持", "提示", 48, 3), 1);
    EXPECT_EQ(f.ShowMessageBox("text", "", 4, 3), 6);
    EXPECT_EQ(f.ShowMessageBox("text", "", 2, 3), 3);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("提示: 当前机型不支持"), std::string::npos) << err;
}

TEST(MessageBox, TheInstalledDialogAnswers) {
    TPublicFunction f;
    TMessageBoxRequest seen;
    TPublicFunction::SetMessageBoxPresenter([&](const TMessageBoxRequest& r) {
        seen = r;
        return 7;
    });
    EXPECT_EQ(f.ShowMessageBox("Text", "Caption", 36, 3), 7);
    TPublicFunction::SetMessageBoxPresenter({});
    EXPECT_EQ(seen.Text, "Text");
    EXPECT_EQ(seen.Caption, "Caption");
    EXPECT_EQ(seen.Flags, 36);
    EXPECT_EQ(seen.UIStyle, 3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(f.ShowMessageBox("again", "c", 36, 3), 6);
    testing::internal::GetCapturedStderr();
}

} // namespace
