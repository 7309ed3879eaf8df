// The host stand-in: runs the plug-in as the messenger host would, without the
// messenger. Reads lines from standard input:
//   /...               a typed command, passed to ParseCommand (word, blank, parameter);
//                      what the conversation then carries is printed as "send: HEX"
//   anything else      plain text, carried to the other side as typed
//   :receive NAME<TAB>HEX  a message from the contact NAME (display name as the host
//                      passes it), HEX its bytes; a notification goes to ReceiveNotify
//   :toast TEXT        raises a toast through the plug-in's _DisplayToast@16
//   :menu              prints the plug-in's name and menu again
//   :quit              unloads the plug-in (also at end of input)
// Options: --dll PATH, --version N, --me NAME, --contact "NAME|SIGNIN" (repeatable),
//          --no-messenger, --refuse-messenger,
//          --answer-prompt allow|deny  answers the first-send prompt as the user would
#include <atomic>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "base/ansi_text.h"
#include "host/dialog_finder.h"
#include "host/messenger_standin.h"
#include "host/plugin_host.h"

using namespace standin;
using tunelark::ComPtr;

namespace {

// Texts cross between the two hosts as hexadecimal, so that the marker byte and the
// encoded index survive any pipe.
std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

constexpr char NotificationMarker = '\x12';

struct Options {
    std::string dll = "Tunelark.dll";
    int version = 3;
    std::string me = "Me";
    std::vector<Person> contacts;
    bool noMessenger = false;
    bool refuseMessenger = false;
    std::string answerPrompt;  // "allow", "deny" or empty: leave it to the person
};

// Plays the person at the screen for the plug-in's first-send prompt: waits for it to
// show and clicks the chosen button.
class PromptAnswerer {
public:
    explicit PromptAnswerer(const std::string& answer) {
        if (answer.empty()) return;
        button_ = answer == "allow" ? 1047 : 1048;
        thread_ = std::thread([this] {
            while (!stop_) {
                if (HWND prompt = FindOwnDialog("Tunelark Blocklist...")) {
                    std::printf("prompt: the first-send prompt asks; answering %s\n",
                                button_ == 1047 ? "Allow" : "Deny");
                    ClickButton(prompt, button_);
                    while (!stop_ && IsWindow(prompt)) Sleep(20);
                }
                Sleep(50);
            }
        });
    }
    ~PromptAnswerer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    int button_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Arguments as UTF-8, whatever the ANSI code page: display names carry characters such
// as the middle dot of the formatting codes.
std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

bool ParseArgs(const std::vector<std::string>& argv, Options& options) {
    const size_t argc = argv.size();
    for (size_t i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (arg == "--dll") options.dll = value();
        else if (arg == "--version") options.version = std::atoi(value().c_str());
        else if (arg == "--me") options.me = value();
        else if (arg == "--contact") {
            std::string nameAndSignin = value();
            size_t bar = nameAndSignin.find('|');
            Person p;
            p.friendlyName = Widen(nameAndSignin.substr(0, bar));
            p.signinName = bar == std::string::npos ? L"" : Widen(nameAndSignin.substr(bar + 1));
            options.contacts.push_back(p);
        } else if (arg == "--no-messenger") options.noMessenger = true;
        else if (arg == "--refuse-messenger") options.refuseMessenger = true;
        else if (arg == "--answer-prompt") options.answerPrompt = value();
        else {
            std::fprintf(stderr, "tlhost: unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

void PrintMenu(PluginHost& host) {
    char name[256] = {};
    auto table = std::make_unique<tunelark::HostCommandTable>();
    int tags = -1;
    host.exports().PublishInfo(name, table.get(), &tags);
    std::printf("plugin: %s\n", name);
    for (int i = 0; i < table->count && i < tunelark::HostMaxCommands; ++i) {
        std::printf("menu %d: %s -> /%s%s%s\n", i, table->captions[i], table->commandNames[i],
                    table->hints[i][0] ? " " : "", table->hints[i]);
    }
    std::printf("tags: %d\n", tags);
}

}  // namespace

int main() {
    Options options;
    if (!ParseArgs(Arguments(), options)) return 2;
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    PluginHost host(options.dll.c_str());
    if (!host.ok()) {
        for (const auto& m : host.missingExports()) std::fprintf(stderr, "tlhost: missing %s\n", m.c_str());
        return 1;
    }

    ToastReceiver toasts;
    toasts.onToast = [](const Toast& t) {
        std::printf("toast: [%s] %s (flag %s)\n", t.caption.c_str(), t.text.c_str(),
                    t.flag ? "on" : "off");
    };

    ComPtr<Messenger> messenger;
    if (!options.noMessenger) {
        *messenger.receive() = new Messenger();
        messenger->me.friendlyName = Widen(options.me);
        messenger->refuseOwnInterface = options.refuseMessenger;
    }
    ComPtr<Conversation> conversation;
    *conversation.receive() = new Conversation();
    conversation->people = options.contacts;

    PromptAnswerer answerer(options.answerPrompt);
    BOOL ok = host.exports().Initialize(options.version, "Tunelark host stand-in",
                                        messenger.get());
    std::printf("initialize: %d\n", ok);
    PrintMenu(host);
    std::printf("ready\n");

    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        PumpMessages();
        if (line.empty()) continue;
        if (line == ":quit") break;
        if (line == ":menu") {
            PrintMenu(host);
        } else if (line.rfind(":toast ", 0) == 0) {
            LRESULT r = host.exports().DisplayToast(line.c_str() + 7, "Tunelark host", nullptr, 1);
            std::printf("toast result: %ld\n", static_cast<long>(r));
        } else if (line[0] == '/') {
            // The first blank that is a character of its own: the host splits by character.
            size_t blank = tunelark::SystemCodePage().Find(line, ' ');
            std::string command = line.substr(0, blank);
            std::string parameter = blank == std::string::npos ? "" : line.substr(blank + 1);
            auto result = host.ParseCommand(command, parameter, conversation.get());
            if (!result.handled) {
                std::printf("command: not the plug-in's\n");
                std::printf("send: %s\n", ToHex(line).c_str());
            } else if (!result.text.empty()) {
                std::printf("command: handled\n");
                std::printf("send: %s\n", ToHex(result.text).c_str());
            } else {
                std::printf("command: handled, nothing sent\n");
            }
        } else if (line.rfind(":receive ", 0) == 0) {
            std::string rest = line.substr(9);
            size_t tab = rest.find('\t');
            std::string sender = rest.substr(0, tab);
            std::string text = tab == std::string::npos ? "" : FromHex(rest.substr(tab + 1));
            if (!text.empty() && text[0] == NotificationMarker) {
                auto result = host.ReceiveNotify(text.substr(1), conversation.get(), sender);
                std::printf("notify from %s: %s\n", sender.c_str(),
                            result.handled ? "handled" : "not the plug-in's");
            } else {
                std::printf("message from %s: %s\n", sender.c_str(), text.c_str());
            }
        } else {
            std::printf("send: %s\n", ToHex(line).c_str());
        }
        PumpMessages();
        std::printf("ready\n");
    }
    host.exports().Uninitialize();
    std::printf("uninitialized\n");
    return 0;
}
