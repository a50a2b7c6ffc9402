// The control's dispatch interface: the method table (dispatch ids, names,
// parameter and result types of the type library), the event table, and
// the calls by id and by name through which every call of the page
// arrives.
//
// Arguments come as the values a script engine passes and are converted to
// each parameter's declared type the way the platform's variant coercion
// converts them: numbers round half to even and must fit the 16-bit range
// of an I2, decimal text converts to numbers, numbers convert to text,
// booleans are -1 and 0. What cannot be converted is refused with the
// HRESULT a dispatch interface gives, and the method is not called. Two
// choices of our own, since no page can rely on the alternative: a null
// passed for a text parameter arrives as a null text (the methods treat it
// as their rules for null say), and a null or missing object for an object
// parameter as no object.
//
// Thread safety: the tables are constant; invoke() belongs to the
// control's window thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "control/dociva_module.h"

class CDocivaOCXCtrl;

namespace dispatch {

// One argument after conversion to its parameter's type.
struct Argument {
    std::int16_t i2 = 0;
    double r8 = 0;
    std::u16string text;
    bool nullText = false;
    void* object = nullptr;

    const char16_t* str() const { return nullText ? nullptr : text.c_str(); }
};

struct Result {
    std::uint16_t type = DOCIVA_EMPTY;  // DOCIVA_EMPTY, DOCIVA_I2 or DOCIVA_STRING
    std::int16_t i2 = 0;
    std::u16string text;
};

using MethodCall = Result (*)(CDocivaOCXCtrl& control, const Argument* args);

struct Method {
    DocivaMethodInfo info;
    MethodCall call;
};

// Every method in dispatch-id order (AboutBox, -552, first).
std::span<const Method> methods();
// Every event in dispatch-id order.
std::span<const DocivaEventInfo> events();

const Method* findMethod(std::int32_t dispid);
// The dispatch id of a name compared ignoring ASCII case.
std::int32_t dispIdOf(std::u16string_view name, std::int32_t& dispid);

// Conversions of one value to a parameter type; DOCIVA_OK or the HRESULT.
std::int32_t toI2(const DocivaValue& value, std::int16_t& out);
std::int32_t toR8(const DocivaValue& value, double& out);
std::int32_t toText(const DocivaValue& value, Argument& out);
std::int32_t toObject(const DocivaValue& value, void*& out);

// Converts the arguments and calls the method. badArgument (may be null)
// receives the index of the argument that failed to convert.
std::int32_t invoke(CDocivaOCXCtrl& control, std::int32_t dispid, const DocivaValue* args, std::uint32_t count,
                    Result& result, std::uint32_t* badArgument);

}  // namespace dispatch
