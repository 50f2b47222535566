#pragma once
// The reference the derivation is checked against.

#include "store/dataset/ALDLLog.h"

namespace quillmar {

// The same channels as TALDLLog::DeriveChannels, computed literally step by
// step (one row deletion at a time, insertion sort): slow, for checking.
void DeriveChannelsStepByStep(TALDLLog& log, const VehicleConstants& vehicle = DefaultVehicleConstants());

} // namespace quillmar
