#pragma once

namespace tunelark {

// Results of the first-send prompt, read as bits: 1 = allow, 4 = make it the default.
constexpr int PromptAllow = 1;
constexpr int PromptDeny = 2;
constexpr int PromptRemember = 4;
// The prompt could not be shown: the user was not asked.
constexpr int PromptNotShown = 0;

// Asks whether a contact not on the blocklist may send sounds. Modal, no owner.
// Answers PromptAllow or PromptDeny, with PromptRemember when the box was ticked, or
// PromptNotShown.
int ShowFirstSendPrompt();

}  // namespace tunelark
