#pragma once
// The grabber's names for the disc reader of encoder/rip, which every read of a disc's audio
// goes through.

#include "encoder/rip/deemphasis.h"
#include "encoder/rip/sample_reader.h"
#include "encoder/rip/suspicious_text.h"

namespace orvane::cdda {

using rip::Deemphasis;
using rip::kMaxReadOffset;
using rip::kReadCancelled;
using rip::ReadMode;
using rip::ReadModeName;
using rip::ReadObserver;
using rip::ReadSettings;
using rip::SampleReader;
using rip::SectorPlace;
using rip::SpanOutcome;
using rip::SpanRequest;
using rip::SpanResult;

}  // namespace orvane::cdda
