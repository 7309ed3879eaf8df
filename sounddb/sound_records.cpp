#include "sounddb/sound_records.h"

#include <windows.h>

#include <climits>

#include "settings/registry.h"
#include "sounddb/sound_registry.h"
#include "base/text_compare.h"

namespace tunelark {

namespace {

constexpr int UnknownProperty = -100;

SoundPack::List& SoundPackList() {
    static SoundPack::List list;
    return list;
}

// Leading blanks, one sign, then digits up to the first other character. Saturates
// instead of overflowing so that any text gives a defined number.
int ParseLeadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value >= limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

int ReadEnabledFlag(const std::string& keyPath) {
    int value = 1;
    ReadRegDword(HKEY_LOCAL_MACHINE, keyPath.c_str(), "Enabled", value);
    return value;
}

// 1 when written (or when the record has no key of its own to write to), 0 when the
// registry refused, with the reason.
int WriteEnabledFlag(bool ownKey, const std::string& keyPath, int value, RegResult* refused) {
    const RegResult result = ownKey ? WriteRegDword(HKEY_LOCAL_MACHINE, keyPath.c_str(), "Enabled", value) : ERROR_SUCCESS;
    if (refused) *refused = result;
    return result == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace

int SoundIndexOf(const std::string& indexText) {
    return ParseLeadingInteger(indexText);
}

std::string EncodeSoundIndex(int index) {
    // Division and remainder truncate toward zero, so a negative number gives digits
    // of 0 or below; they all become 1 to keep every byte in 1..254.
    const int digits[3] = {(index / 64516) % 254 + 1, (index / 254) % 254 + 1, index % 254 + 1};
    std::string encoded;
    for (int digit : digits) encoded += static_cast<char>(digit < 1 ? 1 : digit);
    return encoded;
}

// ---- Sound

Sound::Sound(SoundPack* pack) : pack_(pack) {}

int Sound::SetIndex(int index) {
    const int previous = index_;
    index_ = index;
    indexText_ = std::to_string(index);
    encodedIndex_ = EncodeSoundIndex(index);
    return previous;
}

void Sound::SetIndexText(const std::string& text) {
    indexText_ = text;
    index_ = ParseLeadingInteger(text);
    encodedIndex_ = EncodeSoundIndex(index_);
}

int Sound::GetProperty(int id) const {
    if (id != SoundEnabledProperty) return UnknownProperty;
    // A record without a key of its own below the database counts as enabled.
    if (!IsSoundKeyPath(keyPath_)) return 1;
    return ReadEnabledFlag(keyPath_);
}

int Sound::SetProperty(int id, int value, RegResult* refused) const {
    if (id != SoundEnabledProperty) return UnknownProperty;
    return WriteEnabledFlag(IsSoundKeyPath(keyPath_), keyPath_, value, refused);
}

// ---- SoundPack

Sound* SoundPack::AddSound(std::unique_ptr<Sound> sound) {
    return sounds_.Append(std::move(sound));
}

std::unique_ptr<Sound> SoundPack::RemoveSound(Sound* sound) {
    return sounds_.Unlink(sound);
}

int SoundPack::SoundCount() const {
    int n = 0;
    for (const Sound* s = Sounds(); s; s = s->Next()) ++n;
    return n;
}

void SoundPack::FreeSounds() {
    sounds_.Clear();
}

int SoundPack::GetProperty(int id) const {
    if (id != SoundPackEnabledProperty) return UnknownProperty;
    if (!IsPackKeyPath(keyPath_)) return 1;
    return ReadEnabledFlag(keyPath_);
}

int SoundPack::SetProperty(int id, int value, RegResult* refused) const {
    if (id != SoundPackEnabledProperty) return UnknownProperty;
    return WriteEnabledFlag(IsPackKeyPath(keyPath_), keyPath_, value, refused);
}

// ---- SoundPackList

SoundPack* FirstSoundPack() {
    return SoundPackList().Head();
}

SoundPack* AppendSoundPack(std::unique_ptr<SoundPack> pack) {
    return SoundPackList().Append(std::move(pack));
}

std::unique_ptr<SoundPack> UnlinkSoundPack(SoundPack* pack) {
    return SoundPackList().Unlink(pack);
}

SoundPack* FindSoundPackByName(const std::string& name, int mode) {
    if (mode != MatchPackName) return nullptr;
    for (SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) {
        if (EqualsIgnoreAsciiCase(pack->name_, name)) return pack;
    }
    return nullptr;
}

Sound* FindSoundByIndex(int index, int mode) {
    if (!(mode & MatchIndex)) return nullptr;
    for (SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) {
        for (Sound* sound = pack->Sounds(); sound; sound = sound->Next()) {
            if (sound->Index() == index) return sound;
        }
    }
    return nullptr;
}

Sound* FindSound(const std::string& text, int flags) {
    auto matches = [&](int flag, const std::string& field) {
        return (flags & flag) && EqualsIgnoreAsciiCase(field, text);
    };
    // The encoded index is three bytes, not text: folded byte by byte in every code page.
    auto matchesIndex = [&](const std::string& field) {
        return (flags & MatchEncodedIndex) && BytesEqualIgnoreAsciiCase(field, text);
    };
    for (SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) {
        for (Sound* sound = pack->Sounds(); sound; sound = sound->Next()) {
            if (matches(MatchIndexText, sound->indexText_) || matches(MatchCommand, sound->command_) ||
                matches(MatchFilename, sound->filename_) || matches(MatchMessage, sound->message_) ||
                matchesIndex(sound->encodedIndex_)) {
                return sound;
            }
        }
    }
    return nullptr;
}

void FreeSoundDatabase() {
    SoundPackList().Clear();
}

}  // namespace tunelark
