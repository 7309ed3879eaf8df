// What one sound notification costs the host's thread in a large conversation: the
// sender is the last of N contacts, so every display name is fetched and normalised.
// No sound is installed and toasts are off, so nothing but the sender search runs.
//
//   build/wine-run.sh build/bin/notify_bench.exe [contacts] [calls]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/messenger_standin.h"
#include "host/plugin_host.h"
#include "support/registry_values.h"

using namespace standin;

int main(int argc, char** argv) {
    const int contacts = argc > 1 ? std::atoi(argv[1]) : 50;
    const int calls = argc > 2 ? std::atoi(argv[2]) : 200;
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
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < calls; ++i) {
        QueryPerformanceCounter(&start);
        host.ReceiveNotify("TL\x09\x09\x09", conversation.get(), sender);
        QueryPerformanceCounter(&end);
        ms.push_back(1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
    }
    host.exports().Uninitialize();
    testsupport::ErasePluginKeys();

    std::sort(ms.begin(), ms.end());
    std::printf("notification from the last of %d contacts: median %.3f ms, 90%% %.3f ms (%d calls)\n",
                contacts, ms[ms.size() / 2], ms[ms.size() * 9 / 10], calls);
    return 0;
}
