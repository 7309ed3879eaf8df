#include "base/text_compare.h"

#include "base/ansi_text.h"

namespace tunelark {

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    return SystemCodePage().EqualsIgnoreAsciiCase(a, b);
}

std::string FoldAsciiCase(std::string_view text) {
    return SystemCodePage().FoldAsciiCase(text);
}

bool BytesEqualIgnoreAsciiCase(std::string_view a, std::string_view b) {
    return CodePage().EqualsIgnoreAsciiCase(a, b);
}

}  // namespace tunelark
