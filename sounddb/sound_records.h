// The sound database in memory: SoundPacks in one global list, each owning its Sounds.
// The lists are singly linked and owning; the dialogs walk them from FirstSoundPack()
// and SoundPack::Sounds() along Next(). Enabled flags are never held here: every read
// and write goes to the record's registry key.
#pragma once

#include <memory>
#include <string>

#include "base/owned_list.h"
#include "settings/registry.h"

namespace tunelark {

constexpr int SoundEnabledProperty = 200;
constexpr int SoundPackEnabledProperty = 300;

// FindSound: which fields of a Sound are compared (any may match).
constexpr int MatchIndexText = 1;
constexpr int MatchCommand = 2;
constexpr int MatchFilename = 4;
constexpr int MatchMessage = 8;
constexpr int MatchEncodedIndex = 16;
// FindSoundByIndex and FindSoundPackByName answer only in these modes.
constexpr int MatchIndex = 1;
constexpr int MatchPackName = 32;

// The three-byte wire form of a SoundIndex, most significant digit first, each byte
// 1..254. One-to-one for 0..16387063; larger numbers wrap.
std::string EncodeSoundIndex(int index);
// The SoundIndex of a Sound whose IndexText (its key's name) is `indexText`.
int SoundIndexOf(const std::string& indexText);

class SoundPack;

class Sound {
public:
    explicit Sound(SoundPack* pack);
    ~Sound() = default;
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    Sound* Next() const { return next_.get(); }
    SoundPack* Pack() const { return pack_; }

    int Index() const { return index_; }
    std::string IndexText() const { return indexText_; }
    std::string EncodedIndex() const { return encodedIndex_; }
    std::string Command() const { return command_; }
    std::string Filename() const { return filename_; }
    std::string Message() const { return message_; }
    std::string KeyPath() const { return keyPath_; }

    // Sets the number and its decimal text; answers the previous number.
    int SetIndex(int index);
    // Keeps the text as given (it names the registry key) and takes the number from
    // its leading decimal integer, saturated to the 32-bit range.
    void SetIndexText(const std::string& text);
    void SetCommand(const std::string& text) { command_ = text; }
    void SetFilename(const std::string& text) { filename_ = text; }
    void SetMessage(const std::string& text) { message_ = text; }
    void SetKeyPath(const std::string& text) { keyPath_ = text; }

    // SoundEnabledProperty only, read from / written to the registry; -100 otherwise.
    // Setting answers 1, or 0 when the registry refused the write (its reason in
    // `refused`): the flag is then what it was.
    int GetProperty(int id) const;
    int SetProperty(int id, int value, RegResult* refused = nullptr) const;

private:
    friend class SoundPack;
    // Compares the fields in place: a lookup may visit every Sound of the database.
    friend Sound* FindSound(const std::string& text, int flags);
    std::unique_ptr<Sound> next_;
    SoundPack* const pack_;
    int index_ = -1;
    std::string indexText_;
    std::string command_;
    std::string filename_;
    std::string message_;
    std::string encodedIndex_;
    std::string keyPath_;
};

class SoundPack {
public:
    SoundPack() = default;
    ~SoundPack() = default;
    SoundPack(const SoundPack&) = delete;
    SoundPack& operator=(const SoundPack&) = delete;

    SoundPack* Next() const { return next_.get(); }
    Sound* Sounds() const { return sounds_.Head(); }
    int SoundCount() const;

    std::string KeyPath() const { return keyPath_; }
    std::string Name() const { return name_; }
    std::string Artist() const { return artist_; }
    std::string Version() const { return version_; }
    void SetKeyPath(const std::string& text) { keyPath_ = text; }
    void SetName(const std::string& text) { name_ = text; }
    void SetArtist(const std::string& text) { artist_ = text; }
    void SetVersion(const std::string& text) { version_ = text; }

    // Appends at the tail and takes ownership; no duplicate check. Answers the Sound.
    Sound* AddSound(std::unique_ptr<Sound> sound);
    // Takes the Sound out of this pack's list and hands it back; empty (false) when it
    // was not in the list, which is then unchanged.
    std::unique_ptr<Sound> RemoveSound(Sound* sound);
    // Destroys every Sound of the pack.
    void FreeSounds();

    // SoundPackEnabledProperty only, read from / written to the registry; -100
    // otherwise. Setting answers as Sound::SetProperty does.
    int GetProperty(int id) const;
    int SetProperty(int id, int value, RegResult* refused = nullptr) const;

private:
    friend SoundPack* FindSoundPackByName(const std::string& name, int mode);
    std::unique_ptr<SoundPack> next_;
    std::string keyPath_;
    OwnedList<Sound, &Sound::next_> sounds_;
    std::string name_;
    std::string artist_;
    std::string version_;

public:
    // The shape of SoundPackList.
    using List = OwnedList<SoundPack, &SoundPack::next_>;
};

// Head of SoundPackList, null when the database is empty.
SoundPack* FirstSoundPack();
// Appends at the tail and takes ownership. Answers the pack.
SoundPack* AppendSoundPack(std::unique_ptr<SoundPack> pack);
// Takes the pack out of the list and hands it back; empty when it was not there.
std::unique_ptr<SoundPack> UnlinkSoundPack(SoundPack* pack);

// Lookups return the first match in list order, or null.
SoundPack* FindSoundPackByName(const std::string& name, int mode);
Sound* FindSoundByIndex(int index, int mode);
Sound* FindSound(const std::string& text, int flags);

// Empties the database in memory; the registry is not touched.
void FreeSoundDatabase();

}  // namespace tunelark
