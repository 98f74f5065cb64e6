#pragma once

/** Plain types and constants shared by the host and the plug-in. */

#include <cstddef>
#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Errors.h"

/** A bool that keeps its size (one byte) in every binary; 0 is false, anything else true. */
typedef uint8_t AAX_CBoolean;

/** Four-character codes: plug-in, manufacturer, product, meter, chunk and notification IDs. */
typedef uint32_t AAX_CTypeID;

/** A parameter ID: a zero-terminated text, valid for the duration of the call. */
typedef const char* AAX_CParamID;

/** Index of a field of the algorithm context (AAX_Context.h). */
typedef int32_t AAX_CFieldIndex;

/** A property value; pointer-sized properties go through the pointer operations instead. */
typedef int32_t AAX_CPropertyValue;

typedef float AAX_CSampleRate;

/** Transport positions are counted in ticks of this many per quarter note. */
inline constexpr int64_t kAAX_TicksPerQuarterNote = 960000;

/** 'abcd' with the first character in the most significant byte. */
constexpr AAX_CTypeID AAX_FourCC(const char (&code)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

/** Value of an ID that is not set. */
inline constexpr AAX_CTypeID kAAX_TypeID_None = AAX_FourCC("none");

// ---------------------------------------------------------------------------------------------
// Stem formats: layout index in the upper 16 bits, channel count in the lower 16 bits.

enum AAX_EStemFormat : int32_t {
  AAX_eStemFormat_Mono = 0x00000001,
  AAX_eStemFormat_Stereo = 0x00010002,
  AAX_eStemFormat_3Ch = 0x00020003,
  AAX_eStemFormat_4Ch = 0x000E0004,
  AAX_eStemFormat_5Ch = 0x00050005,
  AAX_eStemFormat_6Ch = 0x00060006,
  AAX_eStemFormat_7Ch = 0x000B0007,
  AAX_eStemFormat_8Ch = 0x000C0008,
  AAX_eStemFormat_9Ch = 0x00120009,
  AAX_eStemFormat_10Ch = 0x000D000A,
  AAX_eStemFormat_16Ch = 0x00130010,
  AAX_eStemFormat_None = static_cast<int32_t>(0xFF9C0000u)
};

constexpr int32_t AAX_StemFormatChannelCount(int32_t stemFormat) {
  return stemFormat & 0xFFFF;
}

/** The format used for a bus of that many channels; None for counts without one. */
constexpr int32_t AAX_StemFormatForChannelCount(int32_t channels) {
  switch (channels) {
    case 1:
      return AAX_eStemFormat_Mono;
    case 2:
      return AAX_eStemFormat_Stereo;
    case 3:
      return AAX_eStemFormat_3Ch;
    case 4:
      return AAX_eStemFormat_4Ch;
    case 5:
      return AAX_eStemFormat_5Ch;
    case 6:
      return AAX_eStemFormat_6Ch;
    case 7:
      return AAX_eStemFormat_7Ch;
    case 8:
      return AAX_eStemFormat_8Ch;
    case 9:
      return AAX_eStemFormat_9Ch;
    case 10:
      return AAX_eStemFormat_10Ch;
    case 16:
      return AAX_eStemFormat_16Ch;
    default:
      return AAX_eStemFormat_None;
  }
}

// ---------------------------------------------------------------------------------------------
// Property IDs of property maps. Where the host gives a property no meaning we know of, it is
// named by its number only.

enum AAX_EProperty : int32_t {
  AAX_eProperty_ManufacturerID = 11,
  AAX_eProperty_ProductID = 12,
  AAX_eProperty_PlugInID_Native = 13,
  AAX_eProperty_PlugInID_AudioSuite = 14,
  AAX_eProperty_InputStemFormat = 51,
  AAX_eProperty_OutputStemFormat = 52,
  AAX_eProperty_56 = 56,
  AAX_eProperty_60 = 60,
  AAX_eProperty_HybridOutputStemFormat = 90,
  AAX_eProperty_HybridInputStemFormat = 91,
  AAX_eProperty_SupportsSideChainInput = 116,
  AAX_eProperty_151 = 151,
  AAX_eProperty_Meter_Type = 200,
  AAX_eProperty_Meter_Orientation = 201,
  AAX_eProperty_300 = 300,
  AAX_eProperty_304 = 304,
  AAX_eProperty_UsesTransport = 306
};

/** Values of AAX_eProperty_Meter_Type. */
enum AAX_EMeterType : int32_t { AAX_eMeterType_Input = 0, AAX_eMeterType_Output = 1 };

/** Values of AAX_eProperty_Meter_Orientation. */
enum AAX_EMeterOrientation : int32_t { AAX_eMeterOrientation_Default = 0 };

/** Plug-in categories (bit set). */
enum AAX_EPlugInCategory : uint32_t { AAX_ePlugInCategory_Harmonic = 0x40 };

// ---------------------------------------------------------------------------------------------
// Notifications (NotificationReceived of the plug-in interfaces).

enum AAX_ENotificationEvent : AAX_CTypeID {
  /** The host starts rendering faster or slower than real time. No data. */
  AAX_eNotificationEvent_EnteringOfflineMode = AAX_FourCC("AXof"),
  /** Back to real time. No data. */
  AAX_eNotificationEvent_ExitingOfflineMode = AAX_FourCC("AXox"),
  /**
   * The instance's track was renamed. data is the address of the host's AAX_IString object
   * (not of characters), valid during the call; size is the text length plus 1, a hint only.
   */
  AAX_eNotificationEvent_TrackNameChanged = AAX_FourCC("AXtn"),
  /** Preview of an offline process starts or stops. data points at an int32, nonzero = on. */
  AAX_eNotificationEvent_ASPreviewState = AAX_FourCC("ASPv")
};

// ---------------------------------------------------------------------------------------------
// Parameters.

enum AAX_EParameterType : int32_t {
  AAX_eParameterType_Discrete = 0,
  AAX_eParameterType_Continuous = 1
};

/** Bit set; 0 is the host's default orientation. */
typedef int32_t AAX_EParameterOrientation;
inline constexpr AAX_EParameterOrientation AAX_eParameterOrientation_Default = 0;

/** Who applied a value in UpdateParameterNormalizedValue. */
enum AAX_EUpdateSource : int32_t {
  AAX_eUpdateSource_Unknown = 0,
  AAX_eUpdateSource_Parameter = 1,
  AAX_eUpdateSource_Chunk = 2,
  AAX_eUpdateSource_Delay = 3
};

/** Parameter IDs, including the terminating zero, must be shorter than this. */
enum AAX_EParameterLimits : int32_t { eParameterDefaultMaxIdentifierSize = 32 };

// ---------------------------------------------------------------------------------------------
// Procedures handed to the host in the description.

/**
 * The process procedure: called on the host's real-time thread with a batch of instances.
 * Each element of [instancesBegin, instancesEnd) points at one instance's algorithm context
 * (AAX_Context.h).
 */
typedef void (*AAX_CProcessProc)(void* const instancesBegin[], const void* instancesEnd);

/** Called once per instance context before its first process call; unused here. */
typedef int32_t (*AAX_CInstanceInitProc)(const void* instanceContext, int32_t action);

/** Called by the host in the background; unused here. */
typedef int32_t (*AAX_CBackgroundProc)();

/**
 * A creation procedure: makes one new object and returns its IACFUnknown with one reference
 * that the caller owns, or null when creation failed. The host queries the result for the
 * interface it needs (effect parameters or effect GUI) and releases the returned reference.
 */
typedef IACFUnknown* (*AAX_CCreateObjectProc)();

/** IDs under which the creation procedures are handed to the effect descriptor. */
enum AAX_EProcPtrID : int32_t {
  kAAX_ProcPtrID_Create_EffectParameters = 0,
  kAAX_ProcPtrID_Create_EffectGUI = 1
};

// ---------------------------------------------------------------------------------------------
// MIDI.

/** Node kinds of AddMIDINode. */
enum AAX_EMIDINodeType : int32_t {
  AAX_eMIDINodeType_LocalInput = 0,
  AAX_eMIDINodeType_LocalOutput = 1,
  AAX_eMIDINodeType_Global = 2,
  AAX_eMIDINodeType_Transport = 3
};

struct AAX_CMidiPacket {
  uint32_t mTimestamp;  ///< sample offset within the block
  uint32_t mLength;     ///< used bytes of mData, 1 ... 4
  uint8_t mData[4];
  AAX_CBoolean mIsImmediate;
};

struct AAX_CMidiStream {
  uint32_t mBufferSize;  ///< packets in mBuffer
  AAX_CMidiPacket* mBuffer;
};

// ---------------------------------------------------------------------------------------------
// State chunks: a 56-byte header owned by the host, followed by the data.

struct AAX_SPlugInChunk {
  int32_t fSize;  ///< bytes of data after the header
  int32_t fVersion;
  AAX_CTypeID fManufacturerID;
  AAX_CTypeID fProductID;
  AAX_CTypeID fPlugInID;
  AAX_CTypeID fChunkID;
  char fName[32];  ///< zero-terminated
  /** First byte of the data; the host allocates AAX_ChunkAllocationSize(fSize) bytes. */
  char fData[1];
};

/** Bytes before the data. */
inline constexpr size_t kAAX_ChunkHeaderSize = 56;
static_assert(offsetof(AAX_SPlugInChunk, fData) == kAAX_ChunkHeaderSize);

/** Bytes the host allocates for a chunk with dataSize bytes of data. */
constexpr size_t AAX_ChunkAllocationSize(size_t dataSize) {
  return kAAX_ChunkHeaderSize + (dataSize > 0 ? dataSize : 1);
}

// ---------------------------------------------------------------------------------------------
// Views.

/** A size or position of a view; vertical first. */
struct AAX_Point {
  float vert;
  float horz;
};

struct AAX_Rect {
  float top;
  float left;
  float width;
  float height;
};

/** What GetPtr of a view container returns. */
enum AAX_EViewContainer_Type : int32_t {
  AAX_eViewContainer_Type_NULL = 0,
  AAX_eViewContainer_Type_HWND = 1,
  AAX_eViewContainer_Type_X11Window = 2
};

/** Modifier-key bits of view containers. */
enum AAX_EModifiers : uint32_t {
  AAX_eModifiers_None = 0,
  AAX_eModifiers_Shift = 1u << 0,
  AAX_eModifiers_Control = 1u << 1,
  AAX_eModifiers_Option = 1u << 2,
  AAX_eModifiers_Command = 1u << 3,
  AAX_eModifiers_SecondaryButton = 1u << 4
};
