#pragma once
// The whole stream framework in one include.

#include "audio/stream/AuConverter.h"
#include "audio/stream/AuException.h"
#include "audio/stream/AuFileIn.h"
#include "audio/stream/AuFileOut.h"
#include "audio/stream/AuFileStream.h"
#include "audio/stream/AuInput.h"
#include "audio/stream/AuOutput.h"
#include "audio/stream/AuStreamedInput.h"
#include "audio/stream/AuStreamedOutput.h"
#include "audio/stream/AuTaggedFileIn.h"
#include "audio/stream/MemoryStream.h"
#include "audio/stream/Stream.h"
