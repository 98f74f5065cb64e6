#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "aax/interfaces/AAX_Types.h"

namespace aaxhost {

/** Plain records of what a plug-in module described: the output of a `describe` command. */

struct Property {
  int32_t id = 0;
  int32_t value = 0;              ///< for integer properties
  const void* pointer = nullptr;  ///< for pointer properties
  bool isPointer = false;
};

/** The value of an integer property in a list, if present. */
std::optional<int32_t> FindProperty(const std::vector<Property>& properties, int32_t id);

enum class FieldKind {
  kReserved,
  kAudioIn,
  kAudioOut,
  kAudioBufferLength,
  kSampleRate,
  kClock,
  kSideChainIn,
  kDataInPort,
  kAuxOutputStem,
  kPrivateData,
  kTemporaryData,
  kMeters,
  kMidiNode
};

const char* FieldKindName(FieldKind kind);

/** One field of an algorithm context, in the order the component declared it. */
struct Field {
  AAX_CFieldIndex index = 0;
  FieldKind kind = FieldKind::kReserved;
  /** Bytes the host allocates behind the field (private data, data-in port, temporary data). */
  uint32_t dataSize = 0;
  int32_t reservedType = 0;           ///< reserved fields
  int32_t nodeType = 0;               ///< MIDI nodes: AAX_EMIDINodeType
  std::string name;                   ///< MIDI nodes and aux output stems
  uint32_t channelMask = 0;           ///< MIDI nodes
  int32_t stemFormat = 0;             ///< aux output stems
  int32_t bufferingType = 0;          ///< data-in ports: AAX_EDataInPortType
  int32_t options = 0;                ///< private data
  std::vector<AAX_CTypeID> meterIDs;  ///< meters
};

struct ProcessProc {
  AAX_CProcessProc proc = nullptr;
  AAX_CInstanceInitProc instanceInitProc = nullptr;
  AAX_CBackgroundProc backgroundProc = nullptr;
  std::vector<Property> properties;  ///< of the property map passed with it
};

struct Component {
  std::vector<Field> fields;
  std::vector<ProcessProc> processProcs;

  const Field* FindField(AAX_CFieldIndex index) const;
  /** A property of the first process procedure's map. */
  std::optional<int32_t> ProcProperty(int32_t id) const;
};

struct Meter {
  AAX_CTypeID id = 0;
  std::string name;
  std::vector<Property> properties;
};

struct ProcPtr {
  int32_t id = 0;
  AAX_CCreateObjectProc proc = nullptr;
};

struct ControlMIDINode {
  AAX_CTypeID id = 0;
  int32_t nodeType = 0;
  std::string name;
  uint32_t channelMask = 0;
};

struct Effect {
  std::string effectID;
  std::vector<std::string> names;
  std::vector<uint32_t> categories;
  std::vector<std::pair<uint32_t, std::string>> categoryBypassParameters;
  std::vector<Component> components;
  std::vector<ProcPtr> procPtrs;
  std::vector<Meter> meters;
  std::vector<Property> properties;
  std::vector<std::pair<int32_t, std::string>> resources;
  std::vector<ControlMIDINode> controlMIDINodes;

  /** The creation procedure handed over under id (AAX_EProcPtrID); the last one wins. */
  AAX_CCreateObjectProc FindProcPtr(int32_t id) const;
  /** The component whose process-procedure properties carry this native plug-in ID. */
  const Component* FindComponentByNativeID(AAX_CTypeID plugInID) const;
};

struct Description {
  std::string manufacturerName;
  std::vector<std::string> packageNames;
  uint32_t packageVersion = 0;
  std::vector<Property> properties;
  std::vector<Effect> effects;  ///< in the order they were added
};

}  // namespace aaxhost
