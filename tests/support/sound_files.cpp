#include "support/sound_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace testsupport {

std::string ProgramDir() {
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string path(exe, n < MAX_PATH ? n : 0);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string SoundPath(const std::string& name) {
    return ProgramDir() + "sounds\\" + name;
}

void WriteToneWav(const std::string& path, double hz, double seconds, unsigned rate, double amplitude, int spike) {
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    std::vector<int16_t> pcm(frames);
    for (uint32_t i = 0; i < frames; ++i)
        pcm[i] = static_cast<int16_t>(
            std::clamp(amplitude * std::sin(2 * 3.14159265358979 * hz * i / rate), -32768.0, 32767.0));
    if (spike && frames) pcm[frames / 2] = static_cast<int16_t>(spike);
    const uint32_t dataBytes = frames * 2;
    std::string file = "RIFF";
    auto put32 = [&](uint32_t v) { file.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { file.append(reinterpret_cast<const char*>(&v), 2); };
    put32(36 + dataBytes);
    file += "WAVEfmt ";
    put32(16);
    put16(1);  // PCM
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    file += "data";
    put32(dataBytes);
    file.append(reinterpret_cast<const char*>(pcm.data()), dataBytes);

    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_EQ(written, file.size());
}

}  // namespace testsupport
