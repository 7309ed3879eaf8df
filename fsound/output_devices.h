// Outside the FSOUND interface: the output devices by the names the system lists, and a
// device of the user's choice for one stream. A choice is kept by name: device numbers
// shift whenever a device is plugged in or out.
#pragma once

#include <string>
#include <vector>

#include "fsound/fsound.h"

namespace tunelark::fsound {

// The system's output devices by the names it shows (szPname), in device-number order.
std::vector<std::string> OutputDeviceNames();
// The number of the device listed by that name, or -1 when none is (an empty name too).
int FindOutputDevice(const std::string& name);

// For the stream's next FSOUND_Stream_Play: the device (a number from the list) to play
// on instead of the system's. False for a handle that is no open stream. A device that
// will not open leaves that play to the system's device, after the hook has been told,
// on the stream's thread, with the device's name.
bool SetStreamDevice(FSOUND_STREAM* stream, int device);
using DeviceRefusedHook = void (*)(const char* device);
void SetDeviceRefusedHook(DeviceRefusedHook hook);

}  // namespace tunelark::fsound
