#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "base/module.h"
#include "ui/first_send_prompt.h"

using namespace tunelark;
using testsupport::ClickButton;
using testsupport::DialogDriver;

namespace {

class FirstSendPromptTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The templates live in the plug-in's resources.
        module_ = LoadLibraryA("Tunelark.dll");
        ASSERT_NE(module_, nullptr);
        SetThisModule(module_);
    }
    void TearDown() override {
        SetThisModule(nullptr);
        if (module_) FreeLibrary(module_);
    }

    int Answer(int button, bool remember) {
        DialogDriver driver("Tunelark Blocklist...", [&](HWND dialog) {
            if (remember) CheckDlgButton(dialog, 1053, BST_CHECKED);
            if (button == IDCLOSE) PostMessageA(dialog, WM_CLOSE, 0, 0);
            else ClickButton(dialog, button);
        });
        int result = ShowFirstSendPrompt();
        driver.Join();
        EXPECT_TRUE(driver.appeared());
        EXPECT_TRUE(driver.closedByAction());
        return result;
    }

    HMODULE module_ = nullptr;
};

TEST_F(FirstSendPromptTest, AnswersAsBitsOfAllowAndRemember) {
    EXPECT_EQ(Answer(1047, false), 1);
    EXPECT_EQ(Answer(1047, true), 5);
    EXPECT_EQ(Answer(1048, false), 2);
    EXPECT_EQ(Answer(1048, true), 6);
}

TEST_F(FirstSendPromptTest, EscapeAndTheCloseBoxDeny) {
    EXPECT_EQ(Answer(IDCANCEL, false), 2);
    EXPECT_EQ(Answer(IDCLOSE, true), 6);
}

TEST_F(FirstSendPromptTest, ShowsItsTemplate) {
    bool checkedInitially = true;
    std::string allow, deny, box;
    DialogDriver driver("Tunelark Blocklist...", [&](HWND dialog) {
        checkedInitially = IsDlgButtonChecked(dialog, 1053) == BST_CHECKED;
        allow = testsupport::DialogItemText(dialog, 1047);
        deny = testsupport::DialogItemText(dialog, 1048);
        box = testsupport::DialogItemText(dialog, 1053);
        ClickButton(dialog, 1048);
    });
    ShowFirstSendPrompt();
    driver.Join();
    ASSERT_TRUE(driver.appeared());
    EXPECT_FALSE(checkedInitially);
    EXPECT_EQ(allow, "&Allow");
    EXPECT_EQ(deny, "Deny");
    EXPECT_EQ(box, "Dont show me this anymore. [the action you chose now will be the default]");
}

}  // namespace
