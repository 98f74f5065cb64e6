// What the product gives the CLAP module: its objects and what hosts are told about them.

#include "framework/clap/IPlugCLAP.h"
#include "plugin/Corvane.h"

namespace iplug {

IPlugCLAP* MakePlugCLAP() {
  return new corvane::Corvane;
}

const CLAPDescription& CLAPDescriptionOfPlug() {
  static const CLAPDescription description = [] {
    CLAPDescription d;
    d.vendor = "Pellumar";
    d.url = "https://pellumar.com";
    d.version = "4.1.0";
    d.description = "Saturation with a shaped knee, asymmetry and optional oversampling";
    // The channel configurations of "1-1 2-2". The ids are the plug-ins' identities in every
    // saved session: they never change.
    d.variants = {
        {"com.pellumar.corvane", "Corvane", 2, {"audio-effect", "distortion", "stereo"}},
        {"com.pellumar.corvane.mono", "Corvane Mono", 1, {"audio-effect", "distortion", "mono"}},
    };
    return d;
  }();
  return description;
}

}  // namespace iplug
