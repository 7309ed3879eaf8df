// The built Tunelark.dll, loaded and called the way the host does it.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/messenger_standin.h"
#include "host/plugin_host.h"
#include "registry_fixture.h"
#include "support/process_census.h"
#include "support/sound_files.h"

using namespace standin;
using tunelark::ComPtr;
using tunelark::HostCommandTable;

namespace {

std::set<std::string> ExportedNames(HMODULE module) {
    auto base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        result.insert(reinterpret_cast<const char*>(base + names[i]));
    return result;
}

class PluginDllTest : public testsupport::RegistryTest {
protected:
    PluginHost host;
};

TEST_F(PluginDllTest, ExportsExactlyTheNineHostNames) {
    ASSERT_TRUE(host.ok());
    const std::set<std::string> expected = {
        "Initialize", "Uninitialize", "Configure", "PublishInfo", "ParseTag",
        "ParseCommand", "ReceiveNotify", "_DisplayToast@16", "_DisplayToastW@16"};
    EXPECT_EQ(ExportedNames(host.module()), expected);
    EXPECT_TRUE(host.missingExports().empty());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        reinterpret_cast<const BYTE*>(host.module()) +
        reinterpret_cast<const IMAGE_DOS_HEADER*>(host.module())->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
}

TEST_F(PluginDllTest, PublishInfoWritesOnlyItsOwnBytes) {
    ASSERT_TRUE(host.ok());
    constexpr unsigned char Fill = 0xAB;
    char name[64];
    std::memset(name, Fill, sizeof name);
    auto table = std::make_unique<HostCommandTable>();
    std::memset(table.get(), Fill, sizeof *table);
    int tags = 99;

    EXPECT_EQ(host.exports().PublishInfo(name, table.get(), &tags), 1);

    EXPECT_EQ(std::string(name, 11), std::string("Tunelark 3", 11));
    for (size_t i = 11; i < sizeof name; ++i) ASSERT_EQ((unsigned char)name[i], Fill) << i;
    EXPECT_EQ(tags, 0);
    EXPECT_EQ(table->count, 8);

    struct Entry { const char* caption; const char* name; const char* hint; };
    const Entry entries[8] = {
        {"Configure...", "xTLConfig", ""},
        {"Advanced Options...", "xTLOptions", ""},
        {"Blocklist...", "xTLBlocklist", ""},
        {"Block all contacts in conversation", "xTLBlock", ""},
        {"Unblock all contacts in conversation", "xTLUnblock", ""},
        {"Block contact", "xTLBlock", nullptr},
        {"Unblock contact", "xTLUnblock", nullptr},
        {"About", "xTLAbout", ""},
    };

    // Build the table we expect byte by byte and compare the whole record.
    auto expected = std::make_unique<HostCommandTable>();
    std::memset(expected.get(), Fill, sizeof *expected);
    expected->count = 8;
    auto put = [](char* field, const char* text) { std::memcpy(field, text, std::strlen(text) + 1); };
    for (int i = 0; i < 8; ++i) {
        put(expected->captions[i], entries[i].caption);
        put(expected->commandNames[i], entries[i].name);
        put(expected->hints[i], entries[i].hint ? entries[i].hint : table->hints[i]);
    }
    // Commands 5 and 6 carry the same sample address; every other hint is empty.
    std::string hint5 = table->hints[5];
    EXPECT_NE(hint5.find('@'), std::string::npos) << hint5;
    EXPECT_EQ(hint5, std::string(table->hints[6]));

    const auto* got = reinterpret_cast<const unsigned char*>(table.get());
    const auto* want = reinterpret_cast<const unsigned char*>(expected.get());
    for (size_t i = 0; i < sizeof(HostCommandTable); ++i)
        ASSERT_EQ(got[i], want[i]) << "byte " << i << " of the command table";
}

TEST_F(PluginDllTest, ParseTagAnswersZero) {
    ASSERT_TRUE(host.ok());
    int dummy = 0;
    EXPECT_EQ(host.exports().ParseTag(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(host.exports().ParseTag(&dummy, &dummy, &dummy), 0);
}

TEST_F(PluginDllTest, ToastsReachTheHostWindowWithTheirRecord) {
    ASSERT_TRUE(host.ok());
    ToastReceiver receiver;
    ASSERT_NE(receiver.window(), nullptr);
    receiver.answer = 7;
    int marker = 0;

    LRESULT r1 = host.exports().DisplayToast("the text", "the caption", &marker, 0x100);
    LRESULT r2 = host.exports().DisplayToast("second", "cap", nullptr, 1);
    LRESULT r3 = host.exports().DisplayToastW(L"wide \u00E9t\u00E9", L"wide caption", nullptr, 0x201);

    ASSERT_EQ(receiver.toasts.size(), 3u);
    const Toast& a = receiver.toasts[0];
    EXPECT_EQ(a.text, "the text");
    EXPECT_EQ(a.caption, "the caption");
    EXPECT_EQ(a.passThrough, &marker);
    EXPECT_EQ(a.flag, 0u) << "only the low byte of the flag counts";
    EXPECT_EQ(a.reserved, 0u);
    EXPECT_EQ(a.lParam, 0);

    EXPECT_EQ(receiver.toasts[1].flag, 0xFFFFFFFFu);
    EXPECT_EQ(receiver.toasts[1].passThrough, nullptr);

    const Toast& w = receiver.toasts[2];
    EXPECT_EQ(w.lParam, 1);
    EXPECT_EQ(w.text, "wide \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(w.caption, "wide caption");
    EXPECT_EQ(w.flag, 0xFFFFFFFFu);

    // The toast answers what SendMessageA answered. For a broadcast that is the
    // system's 1, not any one receiver's answer (here 7).
    EXPECT_EQ(r1, 1);
    EXPECT_EQ(r2, 1);
    EXPECT_EQ(r3, 1);
}

TEST_F(PluginDllTest, InitializeWithoutAMessengerStillAnswersCalls) {
    ASSERT_TRUE(host.ok());
    EXPECT_EQ(host.exports().Initialize(3, "host", nullptr), 1);
    // Neither call may need the messenger to answer; text that is not the plug-in's
    // is left to the host.
    auto command = host.ParseCommand("/hello", "there", nullptr);
    EXPECT_EQ(command.handled, 0);
    EXPECT_EQ(command.text, "");
    auto notify = host.ReceiveNotify("XY\x01\x01\x02hello", nullptr, "Someone");
    EXPECT_EQ(notify.handled, 0);
    EXPECT_EQ(host.ParseCommand("/xTLStop", "", nullptr).handled, 1);
    notify = host.ReceiveNotify("TL\x01\x01\x02hello", nullptr, "Someone");
    EXPECT_EQ(notify.handled, 1);
    EXPECT_EQ(notify.text, "");
    host.exports().Uninitialize();
}

TEST_F(PluginDllTest, InitializeWithARefusingMessengerReturnsOneAndHoldsNoReference) {
    ASSERT_TRUE(host.ok());
    ComPtr<Messenger> messenger;
    *messenger.receive() = new Messenger();
    messenger->refuseOwnInterface = true;
    EXPECT_EQ(host.exports().Initialize(3, "host", messenger.get()), 1);
    EXPECT_EQ(messenger->References(), 1u);

    ComPtr<Conversation> conversation;
    *conversation.receive() = new Conversation();
    conversation->people = {{L"Bob", L"bob@example.com"}};
    host.ParseCommand("/xTLBlock", "", conversation.get());
    host.ReceiveNotify("TL\x01\x01\x02", conversation.get(), "Bob");
    host.exports().Uninitialize();
    EXPECT_EQ(conversation->References(), 1u);
}

TEST_F(PluginDllTest, TheMessengerIsHeldFromInitializeToUninitialize) {
    ASSERT_TRUE(host.ok());
    ComPtr<Messenger> messenger;
    *messenger.receive() = new Messenger();
    std::string longHostString(1000, 'h');
    EXPECT_EQ(host.exports().Initialize(2, longHostString.c_str(), messenger.get()), 1);
    EXPECT_EQ(messenger->References(), 2u);
    host.exports().Uninitialize();
    EXPECT_EQ(messenger->References(), 1u);
}

TEST_F(PluginDllTest, ResourcesAreBuiltIn) {
    ASSERT_TRUE(host.ok());
    HMODULE m = host.module();
    HANDLE big = LoadImageA(m, MAKEINTRESOURCEA(103), IMAGE_ICON, 48, 48, 0);
    HANDLE small = LoadImageA(m, MAKEINTRESOURCEA(122), IMAGE_ICON, 16, 16, 0);
    EXPECT_NE(big, nullptr);
    EXPECT_NE(small, nullptr);
    if (big) DestroyIcon(static_cast<HICON>(big));
    if (small) DestroyIcon(static_cast<HICON>(small));

    auto bitmap = static_cast<HBITMAP>(LoadImageA(m, MAKEINTRESOURCEA(1000), IMAGE_BITMAP, 0, 0,
                                                  LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmWidth, 386);
    EXPECT_EQ(dib.dsBm.bmHeight, 55);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    DeleteObject(bitmap);

    auto message = [&](DWORD id) {
        char* text = nullptr;
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 m, id, 0, reinterpret_cast<char*>(&text), 0, nullptr);
        std::string s = n ? std::string(text, n) : std::string();
        LocalFree(text);
        return s;
    };
    EXPECT_NE(message(0x40000001).find("\r\n"), std::string::npos);
    EXPECT_EQ(message(0x80020002),
              "Error: The SoundPack INI file is not well-formed. Missing %1 key in %2\r\n");
    EXPECT_EQ(message(0x80020004), "Error: SoundIndex %1!d! is already in use - will not redefine\r\n");
    EXPECT_NE(message(0x80020003).find("%1"), std::string::npos);
}

// Closing right after a contact's burst of sounds takes about as long as after one sound.
TEST_F(PluginDllTest, ClosingRightAfterABurstTakesAboutAsLongAsAfterOneSound) {
    testsupport::WriteNumber(HKEY_CURRENT_USER, testsupport::BlocklistRoot, "bob@example.com", 1);
    testsupport::StoreSound("Burst", "301", "tone", testsupport::SoundPath("tone_16bit_stereo_22050.wav"), "m");
    ComPtr<Messenger> messenger(new Messenger());
    ComPtr<Conversation> conversation(new Conversation());
    conversation->people = {{L"Bob", L"bob@example.com"}};
    const auto closeAfter = [&](int notifications) {
        host.exports().Initialize(3, "host", messenger.get());
        for (int i = 0; i < notifications; ++i) host.ReceiveNotify("TL\x01\x02\x30", conversation.get(), "Bob");
        const DWORD before = GetTickCount();
        host.exports().Uninitialize();
        return GetTickCount() - before;
    };
    const DWORD afterOne = closeAfter(1), afterBurst = closeAfter(200);
    // Not a time limit: a close that runs every play of the burst takes seconds more.
    EXPECT_LT(afterBurst, 2 * afterOne + 1000) << "after one notification " << afterOne << " ms";
}

// A host that reloads its plug-ins: load, Initialize, a sound command and a
// notification, Uninitialize, unload. After the first rounds (which bring the
// system's own libraries in for good) no round may leave anything behind.
TEST(PluginLifecycle, ReloadingThePluginLeavesNothingBehind) {
    testsupport::ErasePluginKeys();
    // Bob is new; asking about him would wait for a person.
    DWORD no = 0;
    testsupport::WriteRaw(HKEY_CURRENT_USER, "Software\\vorquell_ software\\Tunelark", "AskOnFirstSend",
                          REG_DWORD, &no, sizeof no);
    auto round = [] {
        PluginHost host;
        ASSERT_TRUE(host.ok());
        ComPtr<Messenger> messenger;
        *messenger.receive() = new Messenger();
        ComPtr<Conversation> conversation;
        *conversation.receive() = new Conversation();
        conversation->people = {{L"Bob", L"bob@example.com"}};
        host.exports().Initialize(3, "host", messenger.get());
        host.ParseCommand("/xTLReload", "", conversation.get());
        host.ReceiveNotify("TL\x01\x01\x02", conversation.get(), "Bob");
        host.exports().Uninitialize();
    };
    for (int i = 0; i < 2; ++i) round();
    const testsupport::ProcessCensus before = testsupport::TakeCensus();
    constexpr int Rounds = 6;
    for (int i = 0; i < Rounds; ++i) round();
    const testsupport::ProcessCensus after = testsupport::SettledCensus(before);

    ASSERT_GT(before.handles, 0) << "the handle list could not be read";
    for (const auto& [type, count] : after.handlesByType) {
        const auto it = before.handlesByType.find(type);
        EXPECT_LE(count, it == before.handlesByType.end() ? 0 : it->second) << type << " handles";
    }
    EXPECT_LE(after.threads, before.threads);
    // The C++ runtime's record of the loading thread (a few hundred bytes) outlives each
    // unload; the database, the blocklist, jobs and streams of a round would not fit.
    EXPECT_LT(after.heapBytes - before.heapBytes, 512 * Rounds) << "heap bytes over " << Rounds << " rounds";
    testsupport::ErasePluginKeys();
}

}  // namespace
