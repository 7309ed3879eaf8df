// Our own sound layer with the FSOUND calling interface that the plug-in was written
// against: a small set of stdcall, C-linkage functions. It decodes and plays through
// the Windows audio API on a thread of its own.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FSOUND_STREAM FSOUND_STREAM;

#define FSOUND_OUTPUT_WINMM 1
#define FSOUND_INIT_GLOBALFOCUS 0x2
#define FSOUND_LOOP_OFF 0x1
#define FSOUND_FREE (-1)

// Output and driver selection, set before FSOUND_Init. Non-zero on success.
signed char __stdcall FSOUND_SetOutput(int outputType);
signed char __stdcall FSOUND_SetDriver(int driver);
// Opens the audio device. Zero when there is none: every later call then fails cleanly.
signed char __stdcall FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags);
// Stops and releases everything, streams included.
void __stdcall FSOUND_Close(void);

// Opens a file for streaming (offset and length 0: the whole file). Null on failure,
// including a file that cannot be decoded.
FSOUND_STREAM* __stdcall FSOUND_Stream_Open(const char* path, unsigned int mode, int offset,
                                            int length);
// Starts the stream; channel FSOUND_FREE picks any free channel. Returns at once with
// a non-zero channel handle, or 0 on failure.
int __stdcall FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream);
// Silences the stream at once; it stays open. Non-zero on success.
signed char __stdcall FSOUND_Stream_Stop(FSOUND_STREAM* stream);
// Stops the stream and releases its file, decoder and device. Non-zero on success.
signed char __stdcall FSOUND_Stream_Close(FSOUND_STREAM* stream);

#ifdef __cplusplus
}
#endif
