// An in-process stand-in for the scanner SDK: it records every call and
// answers as a device would. Drivers are known by directory; opening one
// gives a fresh handle and its capability record; a start plays a short
// run through the registered callbacks on the caller's thread (scan
// started, one progress step, paper end, one image-ready record per page,
// scan finished, processing finished, then status 0).
//
// One FakeSdk is active at a time (the SDK's calls are plain functions).
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "scanner/sdk_calls.h"

class FakeSdk {
public:
    FakeSdk();
    ~FakeSdk();
    FakeSdk(const FakeSdk&) = delete;
    FakeSdk& operator=(const FakeSdk&) = delete;

    SdkCalls calls() const;

    // A driver the fake can open; pages: files the run delivers.
    void addDriver(const std::u16string& directory, const SourceCapability& capability,
                   std::vector<std::u16string> pages = {});

    // Every call as one line, e.g. "open /d/x -> 1", "capability 1",
    // "register 1", "start 1 profile=P settings=yes button=3", "close 1".
    std::vector<std::string> log;
    std::set<DocivaHandle> openHandles;
    // close calls for a handle that was not open (a double close).
    int strayCloses = 0;

    struct Registration {
        void* context = nullptr;
        StatusCallback status = nullptr;
        EventCallback event = nullptr;
    };
    std::map<DocivaHandle, Registration> registrations;

    struct Driver {
        SourceCapability capability{};
        std::vector<std::u16string> pages;
    };
    std::map<std::u16string, Driver> drivers;
    std::map<DocivaHandle, std::u16string> handleDirectory;
    DocivaHandle nextHandle = 1;

    // The SDK's optional settings-form call: absent unless offered, and
    // then answering settingsFormAnswer (logged "form H BYTES").
    bool offersSettingsForm = false;
    int settingsFormAnswer = 0;
    // The SDK's optional cancel call: absent unless offered, and then
    // answering cancelAnswer (logged "cancel H").
    bool offersCancel = false;
    int cancelAnswer = 0;
    // The record pointer of the last start.
    const ScanSettings* lastSettings = nullptr;
};
