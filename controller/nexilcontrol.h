#ifndef NEXILCONTROL_H
#define NEXILCONTROL_H

#include <cstdint>

#if defined(_WIN32)
#    if defined(NEXILCONTROL_BUILDING)
#        define NEXILCONTROL_API __declspec(dllexport)
#    else
#        define NEXILCONTROL_API __declspec(dllimport)
#    endif
#else
#    define NEXILCONTROL_API __attribute__((visibility("default")))
#endif

extern "C" {

NEXILCONTROL_API uint32_t TQ_FindSystems(const char *options, char *outBuffer,
                                         uint32_t *ioBufferSize);
NEXILCONTROL_API uint32_t TQ_OpenSystem(uint32_t *systemIndex, const char *locator,
                                        const char *options);
NEXILCONTROL_API uint32_t TQ_CloseSystem(uint32_t systemIndex);
NEXILCONTROL_API uint32_t TQ_GetNumberOfChannels(uint32_t systemIndex, uint32_t *channels);
NEXILCONTROL_API uint32_t TQ_GetChannelType(uint32_t systemIndex, uint32_t channelIndex,
                                            uint32_t *type);
NEXILCONTROL_API uint32_t TQ_GetSensorType_S(uint32_t systemIndex, uint32_t channelIndex,
                                             uint32_t *type);
NEXILCONTROL_API uint32_t TQ_GetClosedLoopMoveSpeed_S(uint32_t systemIndex, uint32_t channelIndex,
                                                      uint32_t *speed);
NEXILCONTROL_API uint32_t TQ_GetClosedLoopMoveAcceleration_S(uint32_t systemIndex,
                                                             uint32_t channelIndex,
                                                             uint32_t *acceleration);
NEXILCONTROL_API uint32_t TQ_SetClosedLoopMoveSpeed_S(uint32_t systemIndex, uint32_t channelIndex,
                                                      uint32_t speed);
NEXILCONTROL_API uint32_t TQ_SetClosedLoopMoveAcceleration_S(uint32_t systemIndex,
                                                             uint32_t channelIndex,
                                                             uint32_t acceleration);
NEXILCONTROL_API uint32_t TQ_EPK(uint32_t selector, uint32_t subSelector, uint32_t property);
NEXILCONTROL_API uint32_t TQ_GetChannelProperty_S(uint32_t systemIndex, uint32_t channelIndex,
                                                  uint32_t key, uint32_t *value);
NEXILCONTROL_API uint32_t TQ_SetChannelProperty_S(uint32_t systemIndex, uint32_t channelIndex,
                                                  uint32_t key, uint32_t value);
NEXILCONTROL_API uint32_t TQ_Stop_S(uint32_t systemIndex, uint32_t channelIndex);
NEXILCONTROL_API uint32_t TQ_GetStatusInfo(uint32_t status, const char **info);
}

#endif // NEXILCONTROL_H
