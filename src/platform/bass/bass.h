#pragma once
// The BASS audio calls the sound system makes, with BASS's names, values and results. Streams are
// Ogg Vorbis decoded whole at creation; output goes through one SDL2 audio device. Call from one
// thread (the error code is per thread); mixing runs on SDL's audio thread.

#include <cstdint>

#include "platform/win32/types.h"

using QWORD = uint64_t;
using HSTREAM = DWORD;

// Error codes, as BASS_ErrorGetCode reports them.
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;
constexpr int BASS_ERROR_DRIVER = 3;
constexpr int BASS_ERROR_HANDLE = 5;
constexpr int BASS_ERROR_POSITION = 7;
constexpr int BASS_ERROR_INIT = 8;
constexpr int BASS_ERROR_START = 9;
constexpr int BASS_ERROR_ALREADY = 14;
constexpr int BASS_ERROR_ILLTYPE = 19;
constexpr int BASS_ERROR_ILLPARAM = 20;
constexpr int BASS_ERROR_DEVICE = 23;
constexpr int BASS_ERROR_NOTAVAIL = 37;
constexpr int BASS_ERROR_FILEFORM = 41;

constexpr DWORD BASS_CONFIG_UPDATEPERIOD = 1;
constexpr DWORD BASS_CONFIG_VISTA_TRUEPOS = 30;
constexpr DWORD BASS_DEVICE_LATENCY = 0x100;
constexpr DWORD BASS_STREAM_PRESCAN = 0x20000;
constexpr DWORD BASS_POS_BYTE = 0;
constexpr DWORD BASS_ATTRIB_VOL = 2;

// What the calls returning a QWORD give on failure.
constexpr QWORD BASS_QWORD_ERROR = ~QWORD{0};

BOOL BASS_SetConfig(DWORD option, DWORD value);
// device -1 is the default device; freq is the output rate. Without a sound card the output
// falls back to SDL's "dummy" driver, which still consumes samples in real time.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND window, const void* class_id);
BOOL BASS_Free();
BOOL BASS_Start();
BOOL BASS_Stop();
int BASS_ErrorGetCode();

// From memory only (mem TRUE): decodes the whole stream now, so the memory is not read later.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
// Positions and lengths are byte offsets into the decoded 16-bit stereo stream.
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);
