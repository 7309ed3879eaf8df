#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/messenger_standin.h"
#include "plugin/messenger/messenger.h"

using namespace tunelark;
using standin::Person;

namespace {

template <typename T>
ComPtr<T> Make() {
    ComPtr<T> p;
    *p.receive() = new T();
    return p;
}

TEST(WideToAnsiFixed, ZeroFillsAndCutsToTheBufferLessOne) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    WideToAnsiFixed(L"abc", buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("abc\0\0\0\0\0", 8));

    std::memset(buffer, 'x', sizeof buffer);
    WideToAnsiFixed(L"abcdefghijkl", buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("abcdefg\0", 8));

    std::memset(buffer, 'x', sizeof buffer);
    WideToAnsiFixed(nullptr, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, '\0'));
}

TEST(WideToAnsiFixed, ConvertsToTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252, have " << GetACP();
    char buffer[16];
    WideToAnsiFixed(L"\u00C9l\u00E9a \u00B7", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "\xC9l\xE9" "a \xB7");
}

TEST(MessengerAccess, ReadsTheLocalUsersName) {
    auto messenger = Make<standin::Messenger>();
    messenger->me.friendlyName = L"Alice \u00B7#FF0000Red";
    char name[130];
    ASSERT_TRUE(GetMyFriendlyName(messenger.get(), name, sizeof name));
    if (GetACP() == 1252) EXPECT_STREQ(name, "Alice \xB7#FF0000Red");

    messenger->refuseFriendlyName = true;
    std::memset(name, 'x', sizeof name);
    EXPECT_FALSE(GetMyFriendlyName(messenger.get(), name, sizeof name));
    EXPECT_EQ(name[0], '\0');
    EXPECT_FALSE(GetMyFriendlyName(nullptr, name, sizeof name));
}

TEST(MessengerAccess, WalksTheConversationInIndexOrderSkippingRefusedContacts) {
    auto conversation = Make<standin::Conversation>();
    conversation->people = {{L"Ann", L"ann@example.com"},
                            {L"Bob", L"bob@example.com"},
                            {L"Cy", L"cy@example.com"}};
    conversation->refuseContactAt = 1;

    std::vector<std::string> seen;
    bool ok = ForEachConversationContact(conversation.get(), [&](IMessengerContact* contact) {
        char display[130], signin[256];
        EXPECT_TRUE(GetContactFriendlyName(contact, display, sizeof display));
        EXPECT_TRUE(GetContactSigninName(contact, signin, sizeof signin));
        seen.push_back(std::string(display) + "/" + signin);
        return true;
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(seen, (std::vector<std::string>{"Ann/ann@example.com", "Cy/cy@example.com"}));
    EXPECT_EQ(conversation->References(), 1u) << "every reference taken must be released";
}

TEST(MessengerAccess, StopsWhenTheVisitorSaysSo) {
    auto conversation = Make<standin::Conversation>();
    conversation->people = {{L"Ann", L"a"}, {L"Bob", L"b"}};
    int visits = 0;
    EXPECT_TRUE(ForEachConversationContact(conversation.get(), [&](IMessengerContact*) {
        ++visits;
        return false;
    }));
    EXPECT_EQ(visits, 1);
}

TEST(MessengerAccess, ReportsACollectionThatCannotBeHad) {
    auto visitor = [](IMessengerContact*) { return true; };
    EXPECT_FALSE(ForEachConversationContact(nullptr, visitor));

    auto refusing = Make<standin::Conversation>();
    refusing->refuseContacts = true;
    EXPECT_FALSE(ForEachConversationContact(refusing.get(), visitor));

    auto wrongObject = Make<standin::Conversation>();
    wrongObject->refuseOwnInterface = true;
    EXPECT_FALSE(ForEachConversationContact(wrongObject.get(), visitor));

    auto empty = Make<standin::Conversation>();
    EXPECT_TRUE(ForEachConversationContact(empty.get(), visitor));
}

}  // namespace
