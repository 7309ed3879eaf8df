// Typed commands through the DLL's ParseCommand, as the host passes them.
#include "dialog_driver.h"
#include "plugin_fixture.h"

#include <memory>

using namespace testsupport;

namespace {

std::string Notification(const std::string& encoded, const std::string& message) {
    return "\x12TL" + encoded + message;
}

class CommandTest : public LoadedPluginTest {
protected:
    void SetUp() override {
        LoadedPluginTest::SetUp();
        host.resultFill = 0x5A;
    }
};

TEST_F(CommandTest, SoundCommandsAreEncodedAndOtherWordsLeftUntouched) {
    StoreSound("Farm", "0", "zero", "C:\\zero.wav", "zero says");
    StoreSound("Farm", "253", "top", "C:\\top.wav", "top says");
    StoreSound("Farm", "254", "wrap", "C:\\wrap.wav", "");
    StoreSound("Farm", "300", "moo", "C:\\moo.wav", "says moo");
    StoreSound("Farm", "64516", "big", "C:\\big.wav", "big one");
    Start();

    struct Case { const char* command; const char* parameter; std::string expected; };
    const Case cases[] = {
        {"/xTLzero", "", Notification("\x01\x01\x01", "zero says")},
        {"/xTLtop", "", Notification("\x01\x01\xFE", "top says")},
        {"/xTLwrap", "", Notification("\x01\x02\x01", "")},
        {"/xTLmoo", "hello there", Notification("\x01\x02\x2F", "hello there")},
        {"/xTLmoo", "", Notification("\x01\x02\x2F", "says moo")},
        {"/xTLbig", "", Notification("\x02\x01\x01", "big one")},
        {"/XTLMOO", "", Notification("\x01\x02\x2F", "says moo")},
    };
    for (const auto& c : cases) {
        auto r = host.ParseCommand(c.command, c.parameter, conversation.get());
        EXPECT_EQ(r.handled, 1) << c.command;
        EXPECT_EQ(r.text, c.expected) << c.command << " " << c.parameter;
    }

    // A message longer than the host's result buffer is cut to it.
    auto cut = host.ParseCommand("/xTLmoo", std::string(10000, 'm'), conversation.get());
    EXPECT_EQ(cut.handled, 1);
    EXPECT_LT(cut.text.size(), standin::PluginHost::ResultSize);
    EXPECT_EQ(cut.text.substr(0, 6), "\x12TL\x01\x02\x2F");

    // Words that are not the plug-in's leave the result untouched.
    for (const char* command : {"/xT", "", "/x", "/abcmoo", "xTLmoo", "/xTLnosuchsound", "/xTLmo"}) {
        auto r = host.ParseCommand(command, "text", conversation.get());
        EXPECT_EQ(r.handled, 0) << command;
        EXPECT_TRUE(r.untouched) << command;
    }
}

TEST_F(CommandTest, TheBareCommandWordSendsTheSoundWithAnEmptyCommand) {
    Start();
    auto without = host.ParseCommand("/xTL", "", conversation.get());
    EXPECT_EQ(without.handled, 0);
    EXPECT_TRUE(without.untouched);
    host.exports().Uninitialize();

    StoreSound("Farm", "7", "", "C:\\blank.wav", "blank");
    host.exports().Initialize(3, "", messenger.get());
    auto with = host.ParseCommand("/xtl", "", conversation.get());
    EXPECT_EQ(with.handled, 1);
    EXPECT_EQ(with.text, Notification("\x01\x01\x08", "blank"));
}

TEST_F(CommandTest, BuiltInNamesWinOverSoundsOfTheSameCommand) {
    StoreSound("Farm", "1", "Stop", "C:\\stop.wav", "stop sound");
    StoreSound("Farm", "2", "reload", "C:\\reload.wav", "reload sound");
    StoreSound("Farm", "3", "Stopper", "C:\\stopper.wav", "stopper");
    SetOptionValue("ToastsEnabled", 0);
    Start();
    // About opens a dialog: its tests are the dialog's. The others' dialogs, closed with
    // their default button, leave an empty text.
    const std::pair<const char*, const char*> commands[] = {
        {"/xTLStop", nullptr}, {"/xtlSTOP", nullptr}, {"/XTLReload", nullptr}, {"/xTLreloadblocklist", nullptr},
        {"/xTLconfig", "Tunelark Config Panel"}, {"/xTLOptions", "Tunelark Advanced Options"},
        {"/xTLBlocklist", "Tunelark Blocklist"}};
    for (const auto& [command, dialog] : commands) {
        std::unique_ptr<DialogDriver> driver;
        if (dialog) driver = std::make_unique<DialogDriver>(dialog, [](HWND d) { ClickButton(d, IDOK); });
        auto r = host.ParseCommand(command, "", conversation.get());
        driver.reset();
        EXPECT_EQ(r.handled, 1) << command;
        EXPECT_EQ(r.text, "") << command;
    }
    // A word that only begins with a built-in name is a sound command.
    EXPECT_EQ(host.ParseCommand("/xTLStopper", "", conversation.get()).text,
              Notification("\x01\x01\x04", "stopper"));
}

TEST_F(CommandTest, ReloadRereadsTheDatabaseAndToastsOnlyWhenToastsAreOn) {
    Start();
    EXPECT_EQ(host.ParseCommand("/xTLmoo", "", conversation.get()).handled, 0);
    StoreSound("Farm", "300", "moo", "C:\\moo.wav", "says moo");

    auto r = host.ParseCommand("/xTLReload", "", conversation.get());
    EXPECT_EQ(r.handled, 1);
    ASSERT_EQ(Toasts().size(), 1u);
    EXPECT_EQ(Toasts()[0].text, "Tunelark Sounds Database reloaded");
    EXPECT_EQ(Toasts()[0].caption, "Tunelark Plugin :: Information");
    EXPECT_EQ(Toasts()[0].flag, 0xFFFFFFFFu);
    EXPECT_EQ(Toasts()[0].passThrough, nullptr);
    EXPECT_EQ(host.ParseCommand("/xTLmoo", "", conversation.get()).handled, 1);

    // Reloading twice must not leave the sound in the database twice over, nor lose it.
    host.ParseCommand("/xTLReload", "", conversation.get());
    EXPECT_EQ(host.ParseCommand("/xTLmoo", "", conversation.get()).text,
              Notification("\x01\x02\x2F", "says moo"));

    SetOptionValue("ToastsEnabled", 0);
    host.ParseCommand("/xTLReload", "", conversation.get());
    host.ParseCommand("/xTLReloadBlocklist", "", conversation.get());
    EXPECT_EQ(Toasts().size(), 2u) << "no toast with toasts switched off";

    SetOptionValue("ToastsEnabled", 2);
    host.ParseCommand("/xTLReloadBlocklist", "", conversation.get());
    ASSERT_EQ(Toasts().size(), 3u) << "any non-zero value lets the information toasts through";
    EXPECT_EQ(Toasts()[2].text, "Tunelark Blocklist Database reloaded");
}

TEST_F(CommandTest, BlockAndUnblockByNameOrWithoutAConversation) {
    Start();
    auto none = host.ParseCommand("/xTLBlock", "", nullptr);
    EXPECT_EQ(none.handled, 1);
    EXPECT_EQ(none.text, "");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, BlocklistRoot) &&
                 ReadRaw(HKEY_CURRENT_USER, BlocklistRoot, "ann@example.com").present);

    auto r = host.ParseCommand("/xTLBlock", "bob@example.com", conversation.get());
    EXPECT_EQ(r.handled, 1);
    EXPECT_EQ(r.text, "");
    auto value = BlocklistValue("bob@example.com");
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(AsNumber(value), 0);

    host.ParseCommand("/xTLUnblock", "bob@example.com", nullptr);
    EXPECT_EQ(AsNumber(BlocklistValue("bob@example.com")), 1);

    // An entry written behind the plug-in and reloaded: Block finds it and changes it
    // rather than adding a second one.
    WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, "late@example.com", 1);
    host.ParseCommand("/xTLReloadBlocklist", "", conversation.get());
    host.ParseCommand("/xTLBlock", "late@example.com", conversation.get());
    EXPECT_EQ(AsNumber(BlocklistValue("late@example.com")), 0);
}

TEST_F(CommandTest, BlockAndUnblockEveryContactOfTheConversation) {
    conversation->people = {{L"Ann", L"ann@example.com"},
                            {L"Bob", L"bob@example.com"},
                            {L"Cy", L"cy@example.com"},
                            {L"Dee", L""},
                            {L"Eve", L"eve@example.com", false, /*signinNameFails=*/true},
                            {L"Fay", L"fay@example.com", false, false, /*itemFails=*/true}};
    conversation->refuseContactAt = 2;
    Start();
    host.ParseCommand("/xTLUnblock", "ann@example.com", nullptr);

    EXPECT_EQ(host.ParseCommand("/xTLBlock", "", conversation.get()).handled, 1);
    EXPECT_EQ(AsNumber(BlocklistValue("ann@example.com")), 0);
    EXPECT_EQ(AsNumber(BlocklistValue("bob@example.com")), 0);
    EXPECT_FALSE(BlocklistValue("cy@example.com").present) << "a contact that answers no interface is skipped";
    for (const char* skipped : {"", "eve@example.com", "fay@example.com"})
        EXPECT_FALSE(BlocklistValue(skipped).present) << "'" << skipped << "' has no readable sign-in name";

    host.ParseCommand("/xTLUnblock", "", conversation.get());
    EXPECT_EQ(AsNumber(BlocklistValue("ann@example.com")), 1);
    EXPECT_EQ(AsNumber(BlocklistValue("bob@example.com")), 1);
}

TEST_F(CommandTest, ARefusedContactCollectionShowsTheInternalErrorBox) {
    conversation->people = {{L"Ann", L"ann@example.com"}};
    conversation->refuseContacts = true;
    Start();
    std::string text;
    DialogDriver driver("Internal Error", [&](HWND box) {
        text = MessageBoxText(box);
        ClickButton(box, IDOK);
    });
    auto r = host.ParseCommand("/xTLUnblock", "", conversation.get());
    driver.Join();
    EXPECT_TRUE(driver.appeared());
    EXPECT_TRUE(driver.closedByAction());
    EXPECT_EQ(text, "The Contacts group could not be found");
    EXPECT_EQ(r.handled, 1);
    EXPECT_FALSE(BlocklistValue("ann@example.com").present);
}

}  // namespace
