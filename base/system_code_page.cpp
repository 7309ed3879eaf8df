// The code pages as Windows knows them.
#include <windows.h>

#include "base/ansi_text.h"

namespace tunelark {

CodePage CodePageOf(unsigned number) {
    CodePage page;
    CPINFO info{};
    if (!GetCPInfo(number, &info) || info.MaxCharSize < 2) return page;
    for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] || info.LeadByte[i + 1]); i += 2)
        page.AddLeadRange(info.LeadByte[i], info.LeadByte[i + 1]);
    return page;
}

const CodePage& SystemCodePage() {
    // The system's code page is fixed for the life of the process.
    static const CodePage page = CodePageOf(CP_ACP);
    return page;
}

}  // namespace tunelark
