#include <cstring>
#include <iterator>

#include "plugin/exports/exports.h"

namespace {

struct MenuCommand {
    const char* caption;
    const char* name;
    const char* hint;
};

constexpr const char* SampleAddress = "someone@example.com";

constexpr MenuCommand MenuCommands[] = {
    {"Configure...", "xTLConfig", ""},
    {"Advanced Options...", "xTLOptions", ""},
    {"Blocklist...", "xTLBlocklist", ""},
    {"Block all contacts in conversation", "xTLBlock", ""},
    {"Unblock all contacts in conversation", "xTLUnblock", ""},
    {"Block contact", "xTLBlock", SampleAddress},
    {"Unblock contact", "xTLUnblock", SampleAddress},
    {"About", "xTLAbout", ""},
};

// Writes the text and its terminator only: the host owns every other byte of the table.
void PutText(char* field, const char* text) {
    std::memcpy(field, text, std::strlen(text) + 1);
}

}  // namespace

extern "C" BOOL __stdcall PublishInfo(char* pluginName, tunelark::HostCommandTable* table,
                                      int* tagCount) {
    if (pluginName) PutText(pluginName, "Tunelark 3");
    if (table) {
        table->count = static_cast<int>(std::size(MenuCommands));
        for (size_t i = 0; i < std::size(MenuCommands); ++i) {
            PutText(table->captions[i], MenuCommands[i].caption);
            PutText(table->commandNames[i], MenuCommands[i].name);
            PutText(table->hints[i], MenuCommands[i].hint);
        }
    }
    if (tagCount) *tagCount = 0;
    return TRUE;
}
