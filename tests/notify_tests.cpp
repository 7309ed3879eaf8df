// Incoming notifications through the DLL's ReceiveNotify: who may make the user hear a
// sound. The sounds here point at files that do not exist, so a sound that the plug-in
// decides to play shows itself by the file-missing toast, and one it refuses shows
// nothing.
#include <shlwapi.h>

#include "audio_capture.h"
#include "dialog_driver.h"
#include "plugin_fixture.h"
#include "support/code_page_samples.h"
#include "support/read_only_keys.h"
#include "support/sound_files.h"
#include "ui/resource_ids.h"

using namespace testsupport;

namespace {

const char* const Missing = "This sound has not been correctly configured. The file could not be found";
const char* const NotInstalled = "Sorry, that sound is not installed on your computer";
const std::string MooText = std::string("TL\x01\x02\x2F") + "hello";  // SoundIndex 300

class NotifyTest : public LoadedPluginTest {
protected:
    void SetUp() override {
        LoadedPluginTest::SetUp();
        StoreSound("Farm", "300", "moo", "C:\\no such dir\\moo.wav", "says moo");
        // Bob's display name carries colour and bold codes (bytes 0xB7 0x24, 0xB7 0x23);
        // the host passes the plain name.
        conversation->people = {{L"Ann", L"ann@example.com"},
                                {L"\u00B7$4B\u00B7#ob", L"bob@example.com"}};
        SetOptionValue("AskOnFirstSend", 0);
        // Bob's name and the senders are Western text; only the DoubleByte cases, run under
        // other code pages too (tests/CMakeLists.txt), read any system code page.
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        if (GetACP() != 1252 && test.find("DoubleByte") == std::string::npos) GTEST_SKIP();
    }

    // What the user saw of one notification: the toast texts.
    std::vector<std::string> Receive(const std::string& text, const std::string& sender,
                                     IDispatch* conv) {
        size_t before = toasts.toasts.size();
        auto r = host.ReceiveNotify(text, conv, sender);
        EXPECT_EQ(r.handled, 1);
        EXPECT_EQ(r.text, "");
        std::vector<std::string> seen;
        for (size_t i = before; i < toasts.toasts.size(); ++i) seen.push_back(toasts.toasts[i].text);
        return seen;
    }
    bool Played(const std::string& sender, IDispatch* conv) {
        auto seen = Receive(MooText, sender, conv);
        return seen == std::vector<std::string>{Missing};
    }
    bool Played(const std::string& sender) { return Played(sender, conversation.get()); }
};

TEST_F(NotifyTest, OnlyTheTlCodeIsThePlugins) {
    Start();
    host.resultFill = 0x5A;
    for (const char* text : {"XX\x01\x02\x2F", "T", "", "xT\x01\x01\x01"}) {
        auto r = host.ReceiveNotify(text, conversation.get(), "Bob");
        EXPECT_EQ(r.handled, 0) << text;
        EXPECT_TRUE(r.untouched);
    }
    EXPECT_TRUE(toasts.toasts.empty());
    // Lower-case code, and texts too short to carry an index, are still the plug-in's.
    EXPECT_TRUE(Played("Bob")) << "TL";
    EXPECT_EQ(Receive("tl\x01\x02\x2F", "Bob", conversation.get()), std::vector<std::string>{Missing});
    EXPECT_EQ(Receive("TL", "Bob", conversation.get()), std::vector<std::string>{NotInstalled});
    EXPECT_EQ(Receive("TL\x01\x02", "Bob", conversation.get()), std::vector<std::string>{NotInstalled});
}

// A standard user of Vista to 11 may only read the sound database: it loads all the same,
// so a sound is sent and received, and the user's own blocklist (below
// HKEY_CURRENT_USER) still changes.
TEST_F(NotifyTest, AReadOnlyDatabaseStillSendsAndReceives) {
    ReadOnlyKeys readOnly(HKEY_LOCAL_MACHINE, DatabaseRoot);
    Start();
    EXPECT_EQ(host.ParseCommand("/xTLmoo", "", conversation.get()).text, "\x12" + MooText.substr(0, 5) + "says moo");
    EXPECT_TRUE(Played("Bob"));
    EXPECT_EQ(host.ParseCommand("/xTLBlock", "bob@example.com", conversation.get()).handled, 1);
    EXPECT_FALSE(Played("Bob"));
}

// Under the label "codepages": commands that differ only in a second byte are two sounds,
// a long message is cut where a character ends, and a notification plays a file whose
// name holds second bytes "\\" and "|".
TEST_F(NotifyTest, DoubleByteCommandsAndFileNamesPlay) {
    const DoubleByteSamples s = SamplesOfThisCodePage();
    const std::string file = ProgramDir() + s.file + ".wav";
    WriteToneWav(file, 440, 0.3);
    StoreSound(s.name, "301", s.letterA, file, "m"), StoreSound(s.name, "302", s.letterB, file, "m"), Start();
    EXPECT_EQ(host.ParseCommand("/xTL" + s.letterA, "", conversation.get()).text + host.ParseCommand("/xTL" + s.letterB, "",
              conversation.get()).text, "\x12TL\x01\x02\x30m\x12TL\x01\x02\x31m");
    std::string typed;  // longer than the host's buffer
    while (typed.size() < 5000) typed += s.letterA;
    EXPECT_EQ(host.ParseCommand("/xTL" + s.letterA, typed, conversation.get()).text, "\x12TL\x01\x02\x30" + typed.substr(0, 4088));
    ResetCapture();
    EXPECT_EQ(Receive("TL\x01\x02\x30", "Bob", conversation.get()), std::vector<std::string>{});
    EXPECT_NEAR(WaitForCapture().audibleSeconds, 0.3, 0.1);
    DeleteFileA(file.c_str());
}

TEST_F(NotifyTest, TheSenderIsFoundByItsNormalisedDisplayName) {
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "bob@example.com", 1);
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "ann@example.com", 0);
    SetOptionValue("AllowNotOnList", 0);
    Start();
    EXPECT_TRUE(Played("Bob"));
    EXPECT_FALSE(Played("Ann"));
    EXPECT_FALSE(Played("Nobody")) << "no matching contact falls back to AllowNotOnList (0)";
    EXPECT_FALSE(BlocklistValue("Nobody").present);
    EXPECT_FALSE(Played("\xB7$4B\xB7#ob")) << "the host's name is compared as it is";
    SetOptionValue("AllowNotOnList", 1);
    EXPECT_TRUE(Played("Nobody"));
}

TEST_F(NotifyTest, TheLocalUserIsAllowedButNotAContactWhoCopiesTheUsersName) {
    messenger->me.friendlyName = L"\u00B7$12Me\u00A0{away}";
    conversation->people = {{L"Bob", L"bob@example.com"}};
    SetOptionValue("AllowNotOnList", 0);
    Start();
    EXPECT_TRUE(Played("Me"));
    SetOptionValue("BlocklistEnabled", 2);
    EXPECT_FALSE(Played("Me")) << "blocklist value 2 silences everyone";

    SetOptionValue("BlocklistEnabled", 1);
    conversation->people.push_back({L"M\u00B7#e", L"mallory@example.com"});
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "mallory@example.com", 0);
    EXPECT_FALSE(Played("Me")) << "a blocked contact going by the user's name";
}

TEST_F(NotifyTest, WithoutMessengerConversationOrContactsAllowNotOnListDecides) {
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "bob@example.com", 1);
    SetOptionValue("AllowNotOnList", 0);
    Start(/*withMessenger=*/false);
    EXPECT_FALSE(Played("Bob")) << "no messenger";
    SetOptionValue("AllowNotOnList", 1);
    EXPECT_TRUE(Played("Bob"));
    host.exports().Uninitialize();

    host.exports().Initialize(3, "", messenger.get());
    SetOptionValue("AllowNotOnList", 0);
    EXPECT_FALSE(Played("Bob", nullptr)) << "no conversation";
    auto refusing = MakeObject<standin::Conversation>();
    refusing->people = conversation->people;
    refusing->refuseContacts = true;
    EXPECT_FALSE(Played("Bob", refusing.get())) << "no contact collection";
    auto empty = MakeObject<standin::Conversation>();
    EXPECT_FALSE(Played("Bob", empty.get())) << "no contacts";
    EXPECT_TRUE(Played("Bob")) << "the entry decides once the contact is found";
}

TEST_F(NotifyTest, EachNotificationReadsTheFormattingCodesAfresh) {
    const std::string codes = "Software\\vorquell_ software\\Tunelark\\PlusCodes";
    conversation->people = {{L"~4Bob", L"bob@example.com"}};
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "bob@example.com", 0);
    SetOptionValue("AllowNotOnList", 1);
    Start();
    WriteText(HKEY_CURRENT_USER, codes, "Colour", "~");
    EXPECT_FALSE(Played("Bob")) << "~4 is a colour code: the blocked contact";
    WriteText(HKEY_CURRENT_USER, codes, "Colour", "");
    EXPECT_TRUE(Played("Bob")) << "with the default codes ~4Bob is nobody";
}

TEST_F(NotifyTest, BlocklistEnabledDecidesWhetherTheEntryCounts) {
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "ann@example.com", 0);
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "bob@example.com", 1);
    Start();
    SetOptionValue("BlocklistEnabled", 0);
    EXPECT_TRUE(Played("Ann")) << "a denied contact plays with the blocklist off";
    SetOptionValue("BlocklistEnabled", 1);
    EXPECT_FALSE(Played("Ann"));
    EXPECT_TRUE(Played("Bob"));
    SetOptionValue("BlocklistEnabled", 2);
    EXPECT_FALSE(Played("Bob"));
    // A stored allow value of 2 is not "allowed".
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "bob@example.com", 2);
    SetOptionValue("BlocklistEnabled", 1);
    EXPECT_FALSE(Played("Bob"));
}

TEST_F(NotifyTest, ToastsFollowTheirOptions) {
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "ann@example.com", 0);
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "bob@example.com", 1);
    Start();
    // An uninstalled sound is reported even for a denied contact.
    EXPECT_EQ(Receive("TL\x09\x09\x09hi", "Ann", conversation.get()), std::vector<std::string>{NotInstalled});
    EXPECT_EQ(toasts.toasts.back().caption, "Tunelark Plugin warning");
    EXPECT_EQ(toasts.toasts.back().flag, 0xFFFFFFFFu);
    EXPECT_EQ(toasts.toasts.back().passThrough, nullptr);

    ASSERT_EQ(Receive(MooText, "Bob", conversation.get()).size(), 1u);
    EXPECT_EQ(toasts.toasts.back().caption, "Tunelark Plugin :: Warning");
    EXPECT_EQ(toasts.toasts.back().flag, 0xFFFFFFFFu) << "SoundsEnabled 1 sets the flag";

    SetOptionValue("SoundsEnabled", 0);
    // The file test comes before the switch test: a missing file is still reported.
    EXPECT_EQ(Receive(MooText, "Bob", conversation.get()), std::vector<std::string>{Missing});
    EXPECT_EQ(toasts.toasts.back().flag, 0u);
    EXPECT_EQ(Receive("TL\x09\x09\x09", "Bob", conversation.get()), std::vector<std::string>{NotInstalled});
    EXPECT_EQ(toasts.toasts.back().flag, 0u);
    SetOptionValue("SoundsEnabled", 2);
    Receive("TL\x09\x09\x09", "Bob", conversation.get());
    EXPECT_EQ(toasts.toasts.back().flag, 0u) << "the flag is set for exactly 1";

    for (int value : {0, 2}) {
        SetOptionValue("ToastsEnabled", value);
        EXPECT_TRUE(Receive(MooText, "Bob", conversation.get()).empty()) << value;
        EXPECT_TRUE(Receive("TL\x09\x09\x09", "Bob", conversation.get()).empty()) << value;
    }
}

// Sounds play on the device chosen by name, notified or from the panel's Play button; else on
// the default, told once a session when error toasts are on, the choice kept for its return.
TEST_F(NotifyTest, SoundsPlayOnTheChosenDeviceOrElseOnTheDefaultToldOnce) {
    const ExtraOutputDevices devices;
    StoreSound("Farm", "301", "tone", SoundPath("tone_16bit_mono_44100.wav"), "");  // 0.3 s
    const std::string gone = "\"Out: tunelark_unplugged\" is not connected: sounds play on the default device.|";
    const std::string refused = "\"Out: tunelark_four_only\" would not play: the sound played on the default device.|";
    const auto playTone = [](HWND panel) {
        LVFINDINFOA find{LVFI_STRING, "301", 0, {}, 0};
        const LRESULT row = SendDlgItemMessageA(panel, IDC_PANEL_SOUND_LIST, LVM_FINDITEMA, -1, reinterpret_cast<LPARAM>(&find));
        SendDlgItemMessageA(panel, IDC_PANEL_SOUND_LIST, LVM_SETSELECTIONMARK, 0, row);
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_PLAY, BN_CLICKED), 0);
        PostMessageA(panel, WM_COMMAND, IDOK, 0);
    };
    struct Case { const char* chosen; std::string heardOn; bool panel; int toastsOn; std::string told; };
    for (const Case& c : {Case{nullptr, "", false, 1, ""}, Case{"Out: tunelark_speakers", "speakers", false, 1, ""},
                          Case{"Out: tunelark_headset", "headset", true, 1, ""}, Case{"Out: tunelark_unplugged", "", false, 1, gone},
                          Case{"Out: tunelark_four_only", "", true, 1, refused}, Case{"Out: tunelark_unplugged", "", true, 0, ""},
                          Case{"Out: tunelark_four_only", "", false, 1, refused}}) {
        if (c.chosen) WriteText(HKEY_CURRENT_USER, OptionsRoot, "OutputDevice", c.chosen);
        SetOptionValue("ToastsEnabled", c.toastsOn);
        host.exports().Initialize(3, "test host", messenger.get());  // a session each
        const size_t before = toasts.toasts.size();
        for (int play = 0; play < 2; ++play) {
            for (const char* sink : {"", "speakers", "headset"}) ResetCapture(sink);
            if (c.panel) {
                DialogDriver panel("Tunelark Config Panel", playTone);
                host.exports().Configure();
            } else {
                Receive("TL\x01\x02\x30", "Bob", conversation.get());
            }
            for (int i = 0; i < 500 && !CaptureBytes() && !CaptureBytes("speakers") && !CaptureBytes("headset"); ++i) Sleep(10);
            EXPECT_NEAR(WaitForCapture(500, 15000, c.heardOn).audibleSeconds, 0.3, 0.1) << c.heardOn;
            std::string heardOn;
            for (const char* sink : {"", "speakers", "headset"}) heardOn += CaptureBytes(sink) ? "[" + std::string(sink) + "]" : "";
            EXPECT_EQ(heardOn, "[" + c.heardOn + "]") << (c.chosen ? c.chosen : "(none)");
        }
        standin::PumpMessages();
        std::string told;
        for (size_t i = before; i < toasts.toasts.size(); ++i) told += toasts.toasts[i].text + "|";
        EXPECT_EQ(told, c.told) << "once a session";
        EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "OutputDevice").bytes, c.chosen ? c.chosen + std::string(1, '\0') : "");
        host.exports().Uninitialize();
    }
}

class FirstSendTest : public NotifyTest {
protected:
    void SetUp() override {
        NotifyTest::SetUp();
        SetOptionValue("AskOnFirstSend", 1);
    }
    // Lets the prompt be answered by the test; returns whether it was shown.
    bool ReceiveAnswering(int button, bool remember, const std::string& text = MooText,
                          const std::string& sender = "Bob") {
        DialogDriver driver("Tunelark Blocklist...", [&](HWND dialog) {
            if (remember) CheckDlgButton(dialog, 1053, BST_CHECKED);
            ClickButton(dialog, button);
        }, 3000);
        lastSeen = Receive(text, sender, conversation.get());
        driver.StopWaiting();
        driver.Join();
        EXPECT_TRUE(!driver.appeared() || driver.closedByAction());
        return driver.appeared();
    }
    std::vector<std::string> lastSeen;
};

// Each answer by a contact of its own, new to the list. AllowNotOnList -1: no value.
TEST_F(FirstSendTest, AnswersAreStoredForTheContactAndRememberedOnesBecomeTheDefault) {
    Start();
    struct Row { std::string signin; int button; bool remember; int allowBefore, allowAfter, askAfter; };
    const Row rows[] = {
        {"allow@example.com", 1047, false, 0, 0, 1},  // not remembered: the default stays
        {"deny@example.com", 1048, false, -1, -1, 1},
        {"remembered.deny@example.com", 1048, true, -1, 0, 0},
        {"remembered.allow@example.com", 1047, true, 0, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.signin);
        conversation->people = {{L"\u00B7$4B\u00B7#ob", std::wstring(row.signin.begin(), row.signin.end())},
                                {L"Ann", L"ann@example.com"}};
        SetOptionValue("AskOnFirstSend", 1);
        if (row.allowBefore < 0) SHDeleteValueA(HKEY_CURRENT_USER, OptionsRoot, "AllowNotOnList");
        else SetOptionValue("AllowNotOnList", row.allowBefore);
        const bool allow = row.button == 1047;
        const auto heard = allow ? std::vector<std::string>{Missing} : std::vector<std::string>{};
        ASSERT_TRUE(ReceiveAnswering(row.button, row.remember));
        EXPECT_EQ(lastSeen, heard);
        EXPECT_EQ(AsNumber(BlocklistValue(row.signin.c_str())), allow ? 1 : 0);
        EXPECT_EQ(AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "AskOnFirstSend")), row.askAfter);
        const RawValue allowNotOnList = ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "AllowNotOnList");
        EXPECT_EQ(allowNotOnList.present ? AsNumber(allowNotOnList) : -1, row.allowAfter);
        // The contact is now on the list: no second prompt.
        EXPECT_FALSE(ReceiveAnswering(allow ? 1048 : 1047, false));
        EXPECT_EQ(lastSeen, heard);
        if (!row.remember) continue;
        // Ann, new too, is not asked any more and gets the remembered default.
        EXPECT_FALSE(ReceiveAnswering(1047, false, MooText, "Ann"));
        EXPECT_EQ(lastSeen, heard);
        EXPECT_FALSE(BlocklistValue("ann@example.com").present);
    }
}

TEST_F(FirstSendTest, ThePromptComesBeforeTheLookupAndTheBlocklistSwitch) {
    SetOptionValue("BlocklistEnabled", 0);
    Start();
    ASSERT_TRUE(ReceiveAnswering(1048, false, "TL\x09\x09\x09"));
    EXPECT_EQ(lastSeen, std::vector<std::string>{NotInstalled});
    EXPECT_EQ(AsNumber(BlocklistValue("bob@example.com")), 0);
}

// Stops this thread from creating dialogs, as a desktop that takes no more windows would.
class DialogsRefused {
public:
    DialogsRefused() : hook_(SetWindowsHookExA(WH_CBT, Refuse, nullptr, GetCurrentThreadId())) {}
    ~DialogsRefused() { UnhookWindowsHookEx(hook_); }

private:
    static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam) {
        return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
};

TEST_F(FirstSendTest, APromptThatCannotBeShownStoresNothing) {
    Start();
    for (int allowNotOnList : {0, 1}) {
        SetOptionValue("AllowNotOnList", allowNotOnList);
        DialogsRefused refused;
        EXPECT_EQ(Played("Bob"), allowNotOnList == 1);
    }
    EXPECT_FALSE(BlocklistValue("bob@example.com").present);
    EXPECT_EQ(AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, "AskOnFirstSend")), 1);
    // Asked for real next time.
    EXPECT_TRUE(ReceiveAnswering(1047, false));
    EXPECT_EQ(AsNumber(BlocklistValue("bob@example.com")), 1);
}

TEST_F(FirstSendTest, ContactsWhoseCallsFailAreNeitherAskedNorStored) {
    SetOptionValue("AllowNotOnList", 0);
    Start();
    // Every failing call below leaves garbage in its out-parameter; using or releasing
    // it would bring the host down.
    struct Case { const char* what; standin::Person person; };
    const Case cases[] = {
        {"sign-in name fails", {L"Bob", L"bob@example.com", false, true, false}},
        {"empty sign-in name", {L"Bob", L"", false, false, false}},
        {"display name fails", {L"Bob", L"bob@example.com", true, false, false}},
        {"Item fails", {L"Bob", L"bob@example.com", false, false, true}},
    };
    for (const Case& c : cases) {
        conversation->people = {c.person};
        EXPECT_FALSE(ReceiveAnswering(1047, false)) << c.what;
        EXPECT_TRUE(lastSeen.empty()) << c.what << ": AllowNotOnList 0 decides";
    }
    HKEY key;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, BlocklistRoot, 0, KEY_READ, &key), ERROR_SUCCESS)
        << "no entry was written, under an empty name or any other";
}

TEST_F(FirstSendTest, OnlyOptionValuesOfExactlyOneAskOrAllow) {
    Start();
    struct Case { int ask; int allowNotOnList; bool asked; bool played; };
    const Case cases[] = {
        {0, 1, false, true}, {2, 1, false, true}, {-1, 1, false, true},
        {2, 0, false, false}, {0, 2, false, false}, {0, -1, false, false},
    };
    for (const Case& c : cases) {
        SetOptionValue("AskOnFirstSend", c.ask);
        SetOptionValue("AllowNotOnList", c.allowNotOnList);
        EXPECT_EQ(ReceiveAnswering(1047, false), c.asked) << c.ask << "/" << c.allowNotOnList;
        EXPECT_EQ(lastSeen == std::vector<std::string>{Missing}, c.played) << c.ask << "/" << c.allowNotOnList;
    }
    EXPECT_FALSE(BlocklistValue("bob@example.com").present);
}

TEST_F(FirstSendTest, SigninNamesAreStoredUpTo255Bytes) {
    Start();
    for (size_t length : {254u, 255u, 256u, 300u}) {
        const std::string signin(length, static_cast<char>('a' + length % 26));
        conversation->people = {{L"Bob", std::wstring(signin.begin(), signin.end())}};
        ASSERT_TRUE(ReceiveAnswering(1047, false)) << length;
        EXPECT_EQ(AsNumber(BlocklistValue(signin.substr(0, 255).c_str())), 1) << length;
    }
}

TEST_F(NotifyTest, OddSenderNamesAreHandledSafely) {
    SetOptionValue("AllowNotOnList", 1);
    std::wstring longName(300, L'x');
    conversation->people = {{longName, L"long@example.com"}, {L"", L"empty@example.com"},
                            {std::wstring(129, L'z'), L"fits@example.com"},
                            {std::wstring(130, L'y'), L"onemore@example.com"}};
    for (const char* blocked : {"fits@example.com", "onemore@example.com", "long@example.com",
                                "empty@example.com"})
        WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, blocked, 0);
    Start();
    // A display name is cut to 129 bytes before it is compared.
    EXPECT_FALSE(Played(std::string(129, 'x')));
    EXPECT_TRUE(Played(std::string(300, 'x'))) << "not equal to the cut name: AllowNotOnList";
    EXPECT_FALSE(Played(std::string(129, 'z'))) << "a name that just fits is whole";
    EXPECT_FALSE(Played(std::string(129, 'y'))) << "one byte over is cut";
    EXPECT_TRUE(Played(std::string(130, 'y')));
    EXPECT_FALSE(Played("")) << "the empty sender is the contact with the empty name";
}

}  // namespace
