// The browser's side of the plug-in interface, in our own code: enough of
// a browser to load npDociva, make one instance and script it without a
// browser (tests, and `dociva run --plugin`). It gives the plug-in the
// calls it makes: identifiers, objects and their counts, variants, memory,
// the page's window object (NPNVWindowNPObject, whose "window" property is
// itself and whose methods are the page's functions), properties, calls
// and exceptions.
//
// The interface's identifier, memory and exception calls carry no context,
// so they reach the process's one live Browser; making a second while one
// lives is refused (active() stays the first).
//
// Thread safety: the thread that made the browser, which is the one that
// calls into the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/npapi.h"

namespace np_browser {

// The page's global functions, as the window object calls them.
class Page {
public:
    virtual ~Page() = default;
    // Calls the page's function of that name; false when there is none or
    // it threw. result is void on entry.
    virtual bool call(std::string_view function, const NPVariant* args, std::uint32_t count, NPVariant* result) = 0;
};

class Browser {
public:
    explicit Browser(Page& page);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // The table for NP_Initialize (version 27).
    NPNetscapeFuncs* functions() { return &funcs_; }
    // The one instance: ndata is the browser's, pdata the plug-in's.
    NPP instance() { return &instance_; }

    // Objects made through createobject (the window object included) that
    // are not deallocated yet.
    std::size_t liveObjects() const { return liveObjects_; }
    // Blocks from memalloc not freed yet.
    std::size_t liveAllocations() const { return liveAllocations_; }
    // The last NPN_SetException's message, taken.
    std::optional<std::string> takeException();
    // What the plug-in told the browser through NPN_SetValue.
    bool windowedRequested() const { return windowed_; }

    // Identifiers as the plug-in gets them.
    static NPIdentifier identifier(std::string_view name);
    static std::string nameOf(NPIdentifier id);
    // A String variant of browser memory (release it with
    // NPN_ReleaseVariantValue) and the text of one.
    NPVariant stringVariant(std::string_view text);
    static std::string textOf(const NPVariant& value);
    void releaseVariant(NPVariant& value);
    void releaseObject(NPObject* object);
    std::uint32_t referenceCount(const NPObject* object) const { return object ? object->referenceCount : 0; }

    // The live browser the context-free calls reach; null when none.
    static Browser* active();

    // For the browser's own calls (np_browser.cpp).
    Page& page() { return page_; }
    void countObject(int delta) { liveObjects_ = static_cast<std::size_t>(static_cast<long>(liveObjects_) + delta); }
    void countAllocation(int delta) {
        liveAllocations_ = static_cast<std::size_t>(static_cast<long>(liveAllocations_) + delta);
    }
    void setException(std::string message) { exception_ = std::move(message); }
    void setWindowed(bool windowed) { windowed_ = windowed; }
    NPObject* windowObject() const { return window_; }

private:
    Page& page_;
    NPNetscapeFuncs funcs_{};
    NPP_t instance_{};
    NPObject* window_ = nullptr;
    std::size_t liveObjects_ = 0;
    std::size_t liveAllocations_ = 0;
    std::optional<std::string> exception_;
    bool windowed_ = false;
    bool registered_ = false;
};

}  // namespace np_browser
