#ifndef LIBRARYAPI_H
#define LIBRARYAPI_H

#include "nexilcontrol.h"

// The fifteen entry points of the loaded library; private to the controller layer.
namespace nexil {

struct Api
{
    decltype(&::TQ_FindSystems) TQ_FindSystems;
    decltype(&::TQ_OpenSystem) TQ_OpenSystem;
    decltype(&::TQ_CloseSystem) TQ_CloseSystem;
    decltype(&::TQ_GetNumberOfChannels) TQ_GetNumberOfChannels;
    decltype(&::TQ_GetChannelType) TQ_GetChannelType;
    decltype(&::TQ_GetSensorType_S) TQ_GetSensorType_S;
    decltype(&::TQ_GetClosedLoopMoveSpeed_S) TQ_GetClosedLoopMoveSpeed_S;
    decltype(&::TQ_GetClosedLoopMoveAcceleration_S) TQ_GetClosedLoopMoveAcceleration_S;
    decltype(&::TQ_SetClosedLoopMoveSpeed_S) TQ_SetClosedLoopMoveSpeed_S;
    decltype(&::TQ_SetClosedLoopMoveAcceleration_S) TQ_SetClosedLoopMoveAcceleration_S;
    decltype(&::TQ_EPK) TQ_EPK;
    decltype(&::TQ_GetChannelProperty_S) TQ_GetChannelProperty_S;
    decltype(&::TQ_SetChannelProperty_S) TQ_SetChannelProperty_S;
    decltype(&::TQ_Stop_S) TQ_Stop_S;
    decltype(&::TQ_GetStatusInfo) TQ_GetStatusInfo;
};

// Loads the library on first use: its entry points, all fifteen, or null when none is usable.
const Api *loadApi();

// Asked before every call: after the first, no trip to the loader's file.
inline const Api *api()
{
    static const Api *const loaded = loadApi();
    return loaded;
}

} // namespace nexil

#endif // LIBRARYAPI_H
