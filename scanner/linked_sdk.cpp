#include "platform/dynamic_library.h"
#include "platform/library_name.h"
#include "scanner/sdk_calls.h"

SdkCalls linkedSdkCalls() {
    SdkCalls calls;
    // The five calls every SDK has are bound when the program loads.
    calls.openDriver = &dociva_OpenDriver;
    calls.getSourceCapability = &dociva_GetSourceCapability;
    calls.registerCallback = &dociva_RegisterCallback;
    calls.startScanAsync = &dociva_StartScanAsync;
    calls.closeDriver = &dociva_CloseDriver;
    // Anything beyond them is looked up in the SDK already loaded: an
    // import of it would keep the program from loading against an SDK
    // that lacks it. The library stays loaded as long as the program that
    // links it, so the address outlives the lookup's own hold.
    platform::DynamicLibrary sdk;
    if (sdk.attachLoaded(platform::sharedLibraryFileName(u"dociva"))) {
        calls.setSettingsForm = reinterpret_cast<DocivaSetSettingsFormFn>(sdk.symbol("dociva_SetSettingsForm"));
        calls.cancelScan = reinterpret_cast<DocivaCancelScanFn>(sdk.symbol("dociva_CancelScan"));
    }
    return calls;
}
