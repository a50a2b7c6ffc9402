#include "scanner/sdk_calls.h"

SdkCalls linkedSdkCalls() {
    SdkCalls calls;
    calls.openDriver = &dociva_OpenDriver;
    calls.getSourceCapability = &dociva_GetSourceCapability;
    calls.registerCallback = &dociva_RegisterCallback;
    calls.startScanAsync = &dociva_StartScanAsync;
    calls.closeDriver = &dociva_CloseDriver;
    calls.setSettingsForm = &dociva_SetSettingsForm;
    return calls;
}
