#pragma once
// Inside the encoder library: creation of the encoder object for CoCreateInstance.

#include <memory>

#include "platform/wmenc/com.h"

namespace orvane::wmenc {

// A new encoder, or REGDB_E_CLASSNOTREG when its component is not installed (no profile
// folder registered).
HRESULT CreateEncoderObject(std::shared_ptr<IUnknown>* out);

}  // namespace orvane::wmenc
