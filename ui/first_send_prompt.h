#pragma once

namespace tunelark {

// Results of the first-send prompt, read as bits: 1 = allow, 4 = make it the default.
constexpr int PromptAllow = 1;
constexpr int PromptDeny = 2;
constexpr int PromptRemember = 4;

// Asks whether a contact not on the blocklist may send sounds. Modal, no owner.
int ShowFirstSendPrompt();

}  // namespace tunelark
