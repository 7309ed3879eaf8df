// Owners for the multimedia handles the sound layer holds.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>  // before msacm.h, which needs its types
#include <msacm.h>

#include "base/kernel_handle.h"
#include "base/regular_file.h"
#include "base/unique_handle.h"

namespace tunelark::fsound {

using tunelark::KernelHandle;
using tunelark::UniqueHandle;

struct CloseMmio {
    void operator()(HMMIO h) const { mmioClose(h, 0); }
};
struct CloseAcmStream {
    void operator()(HACMSTREAM h) const { acmStreamClose(h, 0); }
};

using MmioHandle = UniqueHandle<HMMIO, CloseMmio>;
using AcmStreamHandle = UniqueHandle<HACMSTREAM, CloseAcmStream>;

// Sound files only: a device or a pipe would block the stream's thread, or never end.
inline KernelHandle OpenForReading(const char* path) {
    return OpenRegularFileForReading(path, FILE_SHARE_READ);
}

}  // namespace tunelark::fsound
