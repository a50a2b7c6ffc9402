// SdkCalls: the SDK calls as the wrapper reaches them. In the product
// they are the linked SDK's exports (linkedSdkCalls); a test hands in a fake.
// A call left null counts as failing: opening gives handle 0, every other
// call does nothing and gives -1.
//
// Thread safety: plain data.
#pragma once

#include "scanner/dociva_sdk.h"

struct SdkCalls {
    DocivaOpenDriverFn openDriver = nullptr;                    // ordinal 1
    DocivaGetSourceCapabilityFn getSourceCapability = nullptr;
    DocivaRegisterCallbackFn registerCallback = nullptr;        // ordinal 2
    DocivaStartScanAsyncFn startScanAsync = nullptr;
    DocivaCloseDriverFn closeDriver = nullptr;                  // ordinal 8
    // Optional: an SDK without it reads every record in the current form.
    DocivaSetSettingsFormFn setSettingsForm = nullptr;
    // Optional: an SDK without it cannot stop a scan once started.
    DocivaCancelScanFn cancelScan = nullptr;
};

// The exports of the SDK the program is linked against. Defined in the
// dociva_scanner_sdk library, which needs the SDK at link time.
SdkCalls linkedSdkCalls();
