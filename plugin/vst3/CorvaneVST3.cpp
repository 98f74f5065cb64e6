// What the product gives the VST3 module: its objects and what hosts are told about them.

#include "framework/vst3/IPlugVST3.h"
#include "plugin/Corvane.h"

namespace iplug {

IPlugVST3* MakePlugVST3() {
  return new corvane::Corvane;
}

const VST3Description& VST3DescriptionOfPlug() {
  static const VST3Description description = [] {
    VST3Description d;
    d.vendor = "Pellumar";
    d.url = "https://pellumar.com";
    d.email = "support@pellumar.com";
    d.version = "4.1.0";
    d.subcategories = "Fx|Distortion";
    // The channel configurations of "1-1 2-2". The class IDs are the plug-ins' identities in
    // every saved session: they never change.
    d.variants = {
        {"Corvane",
         2,
         {0x75, 0xD3, 0x20, 0x6D, 0x9B, 0x62, 0x49, 0xC0, 0x94, 0xF5, 0x63, 0xAA, 0xDE, 0x95, 0x3B,
          0x15},
         {0xC4, 0x00, 0xF7, 0xC7, 0xDE, 0xF7, 0x44, 0x73, 0xA2, 0x0E, 0x5B, 0xD4, 0x35, 0xBB, 0xDC,
          0xD2}},
        {"Corvane Mono",
         1,
         {0xB7, 0x17, 0x89, 0x38, 0xDC, 0x2E, 0x40, 0xB6, 0xBA, 0xF1, 0x69, 0x7A, 0x68, 0x70, 0x86,
          0x68},
         {0x31, 0xAA, 0x30, 0xFD, 0xFD, 0x73, 0x44, 0xEF, 0x8F, 0xCC, 0x7B, 0x8A, 0x5E, 0xA9, 0xB0,
          0x6E}},
    };
    return d;
  }();
  return description;
}

}  // namespace iplug
