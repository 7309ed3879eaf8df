// About and Help through the DLL, as a user opens them: /xTLAbout, then F1.
#include "audio_capture.h"
#include "dialog_driver.h"
#include "plugin_fixture.h"
#include "ui/resource_ids.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <map>

using namespace testsupport;

namespace {

class AboutHelpTest : public LoadedPluginTest {};

// What the dialog manager sends for F1; a help request carries a record, so it is sent.
void PressF1(HWND dialog) {
    HELPINFO info{};
    info.cbSize = sizeof info;
    info.iContextType = HELPINFO_WINDOW;
    info.hItemHandle = dialog;
    SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
}

TEST_F(AboutHelpTest, AboutShowsTheSameCreditsAndVersionEveryTimeAndF1OpensHelp) {
    Start();
    std::string firstCredits;
    for (const char* command : {"/xTLAbout", "/xtlABOUT"}) {
        std::string credits, version, help, helpHeading;
        bool helpAppeared = false;
        DialogDriver about("About - Tunelark Plugin", [&](HWND dialog) {
            credits = DialogItemText(dialog, 1035);
            version = DialogItemText(dialog, 1001);
            DialogDriver helpDriver("Tunelark Help", [&](HWND helpDialog) {
                help = DialogItemText(helpDialog, 1017);
                // F1 in Help opens no second Help: it returns at once.
                PressF1(helpDialog);
                ClickButton(helpDialog, IDOK);
            });
            PressF1(dialog);  // returns when Help has closed
            helpDriver.Join();
            helpAppeared = helpDriver.appeared() && helpDriver.closedByAction();
            ClickButton(dialog, IDOK);
        });
        const auto r = host.ParseCommand(command, "", conversation.get());
        about.Join();
        ASSERT_TRUE(about.appeared()) << command;
        EXPECT_TRUE(about.closedByAction()) << command;
        EXPECT_EQ(r.handled, 1);
        EXPECT_EQ(r.text, "");
        EXPECT_EQ(version, "3.00.008");
        EXPECT_NE(credits.find("Tunelark"), std::string::npos);
        EXPECT_NE(credits.find("\r\n"), std::string::npos) << "several lines";
        if (firstCredits.empty()) firstCredits = credits;
        EXPECT_EQ(credits, firstCredits) << "the same text the second time";
        EXPECT_TRUE(helpAppeared) << command;
        for (const char* topic : {"/xTLBlock", "/xTLConfig", "install.ini", "Export", "blocklist", "\"Play sounds on:\""})
            EXPECT_NE(help.find(topic), std::string::npos) << topic;
    }
    EXPECT_FALSE(FindOwnDialog("Tunelark Help")) << "no Help left behind";
}

}  // namespace

namespace {

// Advanced Options writes the toast switch at once: neither button takes it back.
TEST_F(AboutHelpTest, AdvancedOptionsWritesTheToastSwitchAtOnce) {
    Start();
    struct Case { int stored; int button; bool ticked; int after; };
    for (const Case& c : {Case{1, IDCANCEL, true, 0}, Case{0, IDOK, false, 1}, Case{2, IDCANCEL, false, 1}}) {
        SetOptionValue("ToastsEnabled", c.stored);
        bool ticked = !c.ticked;
        DialogDriver options("Tunelark Advanced Options", [&](HWND dialog) {
            ticked = IsDlgButtonChecked(dialog, 1029) == BST_CHECKED;
            SendDlgItemMessageA(dialog, 1029, BM_CLICK, 0, 0);
            ClickButton(dialog, c.button);
        });
        EXPECT_EQ(host.ParseCommand("/xTLOptions", "", conversation.get()).handled, 1);
        options.Join();
        ASSERT_TRUE(options.appeared()) << c.stored;
        EXPECT_TRUE(options.closedByAction()) << c.stored;
        EXPECT_EQ(ticked, c.ticked) << "ticked exactly for 1: " << c.stored;
        EXPECT_EQ(AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "ToastsEnabled")), c.after) << c.stored;
    }
    // How loud: the box for evening out (absent: ticked), and the slider with its figure
    // (a stored 250 shows as 100), each written as it moves.
    SetOptionValue("Volume", 250);
    std::string shown, moved;
    DialogDriver options("Tunelark Advanced Options", [&](HWND dialog) {
        shown = std::to_string(IsDlgButtonChecked(dialog, IDC_OPTIONS_EVEN_OUT)) + DialogItemText(dialog, IDC_OPTIONS_VOLUME_TEXT) +
                "@" + std::to_string(SendDlgItemMessageA(dialog, IDC_OPTIONS_VOLUME, TBM_GETPOS, 0, 0));
        SendDlgItemMessageA(dialog, IDC_OPTIONS_EVEN_OUT, BM_CLICK, 0, 0);
        for (int to : {0, 35}) {  // its left end is silence
            SendDlgItemMessageA(dialog, IDC_OPTIONS_VOLUME, TBM_SETPOS, TRUE, to);
            SendMessageA(dialog, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_OPTIONS_VOLUME)));
            moved += DialogItemText(dialog, IDC_OPTIONS_VOLUME_TEXT) + "=" +
                     std::to_string(AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "Volume"))) + " ";
        }
        ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(host.ParseCommand("/xTLOptions", "", conversation.get()).handled, 1);
    options.Join();
    EXPECT_EQ(shown + "/" + moved, "1100@100/0=0 35=35 ");
    EXPECT_EQ(AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "EvenOutLoudness")) * 100 +
              AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "Volume")), 35);
}

}  // namespace

namespace {

// The default, then the devices as the system lists them; the pick stored by name at once,
// and a stored device the system does not list shown as such and kept until another is.
TEST_F(AboutHelpTest, AdvancedOptionsStoresTheOutputDeviceByItsName) {
    const ExtraOutputDevices devices;
    Start();
    std::string listed = "The system's default device|";
    std::map<std::string, int> item;
    for (UINT i = 0; i < waveOutGetNumDevs(); ++i) {
        WAVEOUTCAPSA caps{};
        waveOutGetDevCapsA(i, &caps, sizeof caps);
        listed += caps.szPname + std::string("|"), item[caps.szPname] = static_cast<int>(i) + 1;
    }
    const int headset = item["Out: tunelark_headset"], speakers = item["Out: tunelark_speakers"];
    struct Case { const char* stored; int pick; std::string shown; const char* after; };
    for (const Case& c : {Case{nullptr, headset, listed + "@0", "Out: tunelark_headset"},
                          Case{"Out: tunelark_headset", 0, listed + "@" + std::to_string(headset), nullptr},
                          Case{"Gone", -1, listed + "Gone (not connected)|@5", "Gone"},
                          Case{"Gone", speakers, listed + "Gone (not connected)|@5", "Out: tunelark_speakers"}}) {
        if (c.stored) WriteText(HKEY_CURRENT_USER, OptionsRoot, "OutputDevice", c.stored);
        std::string shown;
        DialogDriver options("Tunelark Advanced Options", [&](HWND dialog) {
            const HWND box = GetDlgItem(dialog, IDC_OPTIONS_DEVICE);
            char text[256];
            for (int i = 0; SendMessageA(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text)) != CB_ERR; ++i) shown += text + std::string("|");
            shown += "@" + std::to_string(SendMessageA(box, CB_GETCURSEL, 0, 0));
            if (c.pick >= 0) SendMessageA(box, CB_SETCURSEL, c.pick, 0);
            if (c.pick >= 0) SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_DEVICE, CBN_SELCHANGE), LPARAM(box));
            ClickButton(dialog, c.pick == 0 ? IDCANCEL : IDOK);
        });
        EXPECT_EQ(host.ParseCommand("/xTLOptions", "", conversation.get()).handled, 1);
        options.Join();
        EXPECT_EQ(shown, c.shown) << (c.stored ? c.stored : "(none)");
        const RawValue after = ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "OutputDevice");
        EXPECT_EQ(after.present ? std::to_string(after.type) + after.bytes : "", c.after ? "1" + std::string(c.after) + '\0' : "");
    }
}

TEST_F(AboutHelpTest, AdvancedOptionsLeadsToTheBlocklistDialogItOwns) {
    Start();
    HWND owner = nullptr, optionsWindow = nullptr;
    DialogDriver options("Tunelark Advanced Options", [&](HWND dialog) {
        optionsWindow = dialog;
        DialogDriver blocklist("Tunelark Blocklist", [&](HWND b) {
            owner = GetWindow(b, GW_OWNER);
            ClickButton(b, IDOK);
        });
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1057, BN_CLICKED), 0);  // returns when it closes
        blocklist.Join();
        ClickButton(dialog, IDOK);
    });
    host.ParseCommand("/xTLOptions", "", conversation.get());
    options.Join();
    ASSERT_TRUE(options.appeared());
    EXPECT_NE(optionsWindow, nullptr);
    EXPECT_EQ(owner, optionsWindow);
}

}  // namespace
