#include "fsound/output_devices.h"

#include <windows.h>
#include <mmsystem.h>

namespace tunelark::fsound {

std::vector<std::string> OutputDeviceNames() {
    std::vector<std::string> names;
    const UINT count = waveOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        WAVEOUTCAPSA caps{};
        // A device that cannot answer keeps its place, so that numbers stay right.
        if (waveOutGetDevCapsA(i, &caps, sizeof caps) != MMSYSERR_NOERROR) caps.szPname[0] = '\0';
        names.emplace_back(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
    return names;
}

int FindOutputDevice(const std::string& name) {
    if (name.empty()) return -1;
    const std::vector<std::string> names = OutputDeviceNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

}  // namespace tunelark::fsound
