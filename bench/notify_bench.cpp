// What one sound notification costs the host's thread.
//
//   notify_bench [contacts] [calls]   the sender is the last of N contacts, so every
//       display name is fetched and normalised; no sound is installed and toasts are off,
//       so nothing but the sender search runs.
//   notify_bench --playing [calls]    a contact on the blocklist sends an installed sound
//       while the last one still plays: the request cuts it off and posts the new one.
//       Beside it, the registry values that such a notification reads, read the plain
//       way (open, query, close): the floor for the call.
//   notify_bench --burst [notifications] [rounds]   the contact sends that many sounds in a
//       row, as fast as the host can pass them on, and the host closes right after: what
//       each call of the burst costs, and Uninitialize after the burst against after one
//       notification.
//
// Run: bash scripts/bench-notify.sh, or under Wine with the capture device, e.g.
//   TUNELARK_AUDIO=capture build/wine-run.sh build/bin/notify_bench.exe --playing
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/messenger_standin.h"
#include "host/plugin_host.h"
#include "support/registry_values.h"
#include "support/sound_files.h"

using namespace standin;

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Percentile90(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() * 9 / 10];
}

int SenderSearch(int contacts, int calls) {
    testsupport::ErasePluginKeys();
    testsupport::SetOptionValue("ToastsEnabled", 0);
    testsupport::SetOptionValue("AskOnFirstSend", 0);

    PluginHost host;
    if (!host.ok()) return 1;
    tunelark::ComPtr<Messenger> messenger(new Messenger());
    messenger->me.friendlyName = L"Me";
    tunelark::ComPtr<Conversation> conversation(new Conversation());
    for (int i = 0; i < contacts; ++i) {
        const std::wstring n = std::to_wstring(i);
        conversation->people.push_back({L"\u00B7$4Contact\u00B7#" + n, L"c" + n + L"@example.com"});
    }
    const std::string sender = "Contact" + std::to_string(contacts - 1);
    host.exports().Initialize(3, "bench", messenger.get());

    std::vector<double> ms;
    LARGE_INTEGER start, end;
    for (int i = 0; i < calls; ++i) {
        QueryPerformanceCounter(&start);
        host.ReceiveNotify("TL\x09\x09\x09", conversation.get(), sender);
        QueryPerformanceCounter(&end);
        ms.push_back(Milliseconds(start, end));
    }
    host.exports().Uninitialize();
    testsupport::ErasePluginKeys();
    std::printf("notification from the last of %d contacts: median %.3f ms, 90%% %.3f ms (%d calls)\n",
                contacts, Median(ms), Percentile90(ms), calls);
    return 0;
}

// The values a notification that plays reads: the formatting codes, the sender's
// blocklist flag, the blocklist switch, then the sound's switches and level settings.
struct ValueRead {
    HKEY root;
    std::string key;
    const char* name;
};

double RawReads(const std::vector<ValueRead>& reads) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (const ValueRead& read : reads) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(read.root, read.key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        BYTE data[256];
        DWORD size = sizeof data, type = 0;
        RegQueryValueExA(key, read.name, nullptr, &type, data, &size);
        RegCloseKey(key);
    }
    QueryPerformanceCounter(&end);
    return Milliseconds(start, end);
}

// A contact on the blocklist, allowed, and an installed sound: what a notification that
// plays needs. `sent` is what the sender's side sends for the sound, from "TL" on.
struct PlayingSetup {
    PluginHost host;
    tunelark::ComPtr<Messenger> messenger{new Messenger()};
    tunelark::ComPtr<Conversation> conversation{new Conversation()};
    std::string pack;
    std::string sent;

    bool Start(const std::string& file) {
        testsupport::ErasePluginKeys();
        testsupport::SetOptionValue("ToastsEnabled", 0);
        testsupport::SetOptionValue("AskOnFirstSend", 0);
        pack = std::string(testsupport::DatabaseRoot) + "\\Bench";
        testsupport::StoreSound("Bench", "1", "bench", testsupport::SoundPath(file), "m");
        testsupport::WriteNumber(HKEY_CURRENT_USER, testsupport::BlocklistRoot, "c0@example.com", 1);
        if (!host.ok()) return false;
        messenger->me.friendlyName = L"Me";
        conversation->people.push_back({L"Contact0", L"c0@example.com"});
        host.exports().Initialize(3, "bench", messenger.get());
        sent = host.ParseCommand("/xTLbench", "", conversation.get()).text;
        const size_t code = sent.find("TL");
        if (code == std::string::npos) {
            std::fprintf(stderr, "the sound was not found: %s\n", sent.c_str());
            return false;
        }
        sent.erase(0, code);
        return true;
    }
    double Notify() {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        host.ReceiveNotify(sent, conversation.get(), "Contact0");
        QueryPerformanceCounter(&end);
        return Milliseconds(start, end);
    }
    double Uninitialize() {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        host.exports().Uninitialize();
        QueryPerformanceCounter(&end);
        return Milliseconds(start, end);
    }
    ~PlayingSetup() { testsupport::ErasePluginKeys(); }
};

int WhileASoundPlays(int calls) {
    using testsupport::OptionsRoot;
    PlayingSetup setup;
    if (!setup.Start("long_16bit_mono_8000.wav")) return 1;
    const std::string& pack = setup.pack;
    const std::string codes = std::string(OptionsRoot) + "\\PlusCodes";
    std::vector<ValueRead> reads;
    for (const char* name : {"Colour", "Bold", "Italic", "Underline", "Strikeout", "Reset", "nbsp"})
        reads.push_back({HKEY_CURRENT_USER, codes, name});
    reads.push_back({HKEY_CURRENT_USER, testsupport::BlocklistRoot, "c0@example.com"});
    for (const char* name : {"BlocklistEnabled", "SoundsEnabled"}) reads.push_back({HKEY_CURRENT_USER, OptionsRoot, name});
    reads.push_back({HKEY_LOCAL_MACHINE, pack, "Enabled"});
    reads.push_back({HKEY_LOCAL_MACHINE, pack + "\\1", "Enabled"});
    for (const char* name : {"Volume", "EvenOutLoudness"}) reads.push_back({HKEY_CURRENT_USER, OptionsRoot, name});

    std::vector<double> notify, raw;
    setup.Notify();
    for (int i = 0; i < calls; ++i) {
        // The worker polls every 400 ms: by then the last sound (3 s) plays.
        Sleep(700);
        raw.push_back(RawReads(reads));
        notify.push_back(setup.Notify());
    }
    setup.host.ParseCommand("/xTLStop", "", setup.conversation.get());
    setup.Uninitialize();
    std::printf("notification cutting off a playing sound: median %.3f ms, 90%% %.3f ms (%d calls)\n",
                Median(notify), Percentile90(notify), calls);
    std::printf("its %zu registry values read the plain way: median %.3f ms; notification / reads %.2f\n",
                reads.size(), Median(raw), Median(notify) / Median(raw));
    return 0;
}

// Each round closes once right after one notification and once right after a burst, each
// time from a fresh Initialize, as a host that is closed right after a contact's sounds.
int Burst(int notifications, int rounds) {
    PlayingSetup setup;
    if (!setup.Start("tone_16bit_stereo_22050.wav")) return 1;
    setup.Uninitialize();
    std::vector<double> afterOne, afterBurst, calls, bursts;
    for (int round = 0; round < rounds; ++round) {
        setup.host.exports().Initialize(3, "bench", setup.messenger.get());
        setup.Notify();
        afterOne.push_back(setup.Uninitialize());

        setup.host.exports().Initialize(3, "bench", setup.messenger.get());
        double total = 0;
        for (int i = 0; i < notifications; ++i) {
            calls.push_back(setup.Notify());
            total += calls.back();
        }
        bursts.push_back(total);
        afterBurst.push_back(setup.Uninitialize());
    }
    std::printf("a burst of %d notifications, %d rounds: each call median %.3f ms, 90%% %.3f ms, max %.3f ms; "
                "the burst %.0f ms (median)\n",
                notifications, rounds, Median(calls), Percentile90(calls),
                *std::max_element(calls.begin(), calls.end()), Median(bursts));
    std::printf("Uninitialize right after one notification: median %.0f ms; after the burst: median %.0f ms, "
                "max %.0f ms\n",
                Median(afterOne), Median(afterBurst), *std::max_element(afterBurst.begin(), afterBurst.end()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--playing") == 0)
        return WhileASoundPlays(argc > 2 ? std::max(1, std::atoi(argv[2])) : 30);
    if (argc > 1 && std::strcmp(argv[1], "--burst") == 0)
        return Burst(argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000, argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    return SenderSearch(argc > 1 ? std::atoi(argv[1]) : 50, argc > 2 ? std::atoi(argv[2]) : 200);
}
