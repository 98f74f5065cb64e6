#pragma once

/**
 * The algorithm context: the per-instance record the host passes to the process procedure. It
 * is an array of pointer-sized fields (void*), indexed by AAX_CFieldIndex; the component
 * descriptor declares which field holds what, and fields not declared are null. The host owns
 * the memory the fields point at; it stays valid during the process call.
 *
 * What the host stores in a field, by the kind it was declared with:
 * - audio in / audio out: float* const* — one pointer per channel (the channel count of the
 *   component's input / output stem format) to 32-bit float samples;
 * - audio buffer length: const int32_t* — the sample count of this call;
 * - sample rate: const AAX_CSampleRate*;
 * - clock: const int64_t* — the native sample location of the block's first sample;
 * - side-chain in: const int32_t* — index of the side-chain channel in the audio-in array;
 * - MIDI node of type local input, local output or global: AAX_IMidiNode* (AAX_IMidiNode.h);
 * - MIDI node of type transport: IACFUnknown* of the host transport; wrap it or query it for
 *   IID_AAX_TransportV1 ... V3 (AAX_ITransport.h);
 * - private data: void* to dataSize bytes, made by the host per instance, zeroed, then handed to
 *   the plug-in's ResetFieldData(field, pointer, dataSize) before the first process call;
 * - data-in port: const void* to packetSize bytes: the data of the last PostPacket for that
 *   field that the host delivered before this call (zeros before the first);
 * - meters: float* const* — one tap per declared meter ID, in declaration order; the plug-in
 *   stores levels there and the host reads and resets them after the call;
 * - aux output stem: float* const* — one pointer per channel of the stem's format;
 * - temporary data: void* to scratch memory of the declared size;
 * - reserved: null.
 */

#include <cstdint>

#include "aax/interfaces/AAX_Types.h"

/** The field layout this binding declares; other layouts are possible. */
enum AAX_EFieldIndex : AAX_CFieldIndex {
  AAX_eFieldIndex_AudioIn = 0,
  AAX_eFieldIndex_AudioOut = 1,
  AAX_eFieldIndex_BufferLength = 2,
  AAX_eFieldIndex_SampleRate = 3,
  AAX_eFieldIndex_InputMIDINode = 4,
  AAX_eFieldIndex_OutputMIDINode = 5,
  AAX_eFieldIndex_GlobalMIDINode = 6,
  AAX_eFieldIndex_TransportNode = 7,
  AAX_eFieldIndex_AdditionalMIDINodeFirst = 8,  ///< ... 22
  AAX_eFieldIndex_PrivateData = 23,
  AAX_eFieldIndex_Meters = 24,
  AAX_eFieldIndex_StateNumber = 25,  ///< data-in port of one int64
  AAX_eFieldIndex_SideChainIn = 26,
  AAX_eFieldIndex_AuxOutputStemFirst = 27  ///< one per auxiliary output stem
};

inline constexpr int32_t kAAX_MaxAdditionalMIDINodes = 15;
inline constexpr int32_t kAAX_MaxAuxOutputStems = 32;
inline constexpr int32_t kAAX_MaxMeters = 32;

/** Highest field index a host accepts. */
inline constexpr AAX_CFieldIndex kAAX_MaxFieldIndex = 127;

/** Reads field i of a context as T (a pointer type). */
template <typename T>
inline T AAX_ContextField(const void* context, AAX_CFieldIndex i) {
  return static_cast<T>(static_cast<void* const*>(context)[i]);
}
