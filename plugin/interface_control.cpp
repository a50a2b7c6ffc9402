#include "plugin/interface_control.h"

#include <algorithm>
#include <string_view>

#include "control/dispatch.h"
#include "plugin/np_convert.h"
#include "plugin/np_library.h"
#include "platform/text.h"

namespace {

constexpr const char* kMethodNames[] = {
    "sayHello", "test", "Initialize", "ScannerRegister", "ScanStart", "SetScanType", "SetContinuousScan",
    "SetScanMode", "SetResolution", "SetGamma", "SetBrightness", "SetContrast", "SetProcessBlankPageRemoval",
    "SetProcessPunchHoleRemoval", "SetEjectPaperDirection", "SetProcessInvert", "SetProcessWatermark",
    "SetProcessAutoOrientation", "SetProcessAutoMultiCrop", "SetProcessBWThreshold", "SetProcessStrokeFillPosition",
    "SetProcessStrokeFillSize", "SetOutputFormatBMP", "SetOutputFormatJPG", "SetOutputFormatPDF",
    "SetOutputFormatTIFF", "SetOutputFormatPNG", "SetOutputFormatTIFFG4", "SetOutputFormatGIF",
    "SetOutputFormatMultiTIFF", "SetOutputFormatMultiPDF", "SetOutputPageSplit", "SetOutputScaleX",
    "SetOutputScaleY", "SetOutputChangeResolution", "SetOutputJpegCompressionLevel", "SetOutputBWCompression",
    "SelectProfile", "SetScanSize", "SetCustomScanSize", "SetProcessGrayscaleChannel", "SelectFolder",
    "SelectAPFile", "SetSavetoFolder", "SetSavetoIsOpenSaveFolder", "SetSavetoFileName", "SetSavetoLaunchAppPath",
    "SetSavetoLaunchAppParams", "SetRotate", "SetSplitMerge", "SetAutoSize", "ViewSinglePage", "ViewThumb4",
    "ViewThumb9", "NormalView", "FullView", "ZoomOut", "ZoomIn", "GoFirstPage", "GoPrevPage", "GoNextPage",
    "GoLastPage", "DeleteImage", "RotateLeft", "Rotate", "RotateRight", "Cut", "Flip", "Mirror", "Undo",
    "ExportProfile", "SaveProfile", "GetFileCount", "GetFileNameHelper", "GetFileNameExample",
    "OpenWatermarkSetting", "Alert", "GetConfigPath", "GetDriverPath", "AssignProfileToScannerButton",
    "GetScannerButtonSetting", "ScanCancel",
};
static_assert(std::size(kMethodNames) == 82);

bool resultOf(const dispatch::Result& value, NPVariant& result) {
    switch (value.type) {
    case DOCIVA_I2: np::setInt(result, value.i2); return true;
    case DOCIVA_STRING: return np::browser() && np::setText(*np::browser(), result, value.text);
    default: return true;  // no result: the variant stays as the browser made it (void)
    }
}

// A method the plug-in shares with the control: the page's values are
// converted the plug-in's way, then the control's own method runs through
// its dispatch table, so both shells do the same work.
bool callControl(CDocivaOCXCtrl& control, std::string_view name, const NPVariant* args, std::uint32_t count,
                 NPVariant* result) {
    std::int32_t dispid = 0;
    if (dispatch::dispIdOf(text::fromUtf8(name), dispid) != DOCIVA_OK) return false;
    const dispatch::Method* method = dispatch::findMethod(dispid);
    if (!method) return false;
    const std::uint32_t needed = method->info.parameterCount;
    // A setter called with too few values changes nothing; other methods
    // read a missing value as undefined (0, empty text). ScannerRegister
    // needs that: without a name it reports the empty name.
    if (count < needed && name.starts_with("Set")) return true;
    DocivaValue values[5] = {};
    std::u16string texts[5];
    const NPVariant missing{NPVariantType_Void, {}};
    for (std::uint32_t i = 0; i < needed && i < 5; ++i) {
        const NPVariant& arg = i < count && args ? args[i] : missing;
        DocivaValue& v = values[i];
        switch (method->info.parameterTypes[i]) {
        case DOCIVA_I2:
            v.type = DOCIVA_I4;
            v.integer = np::lowWord(np::integerOf(arg));
            break;
        case DOCIVA_R8:
            v.type = DOCIVA_R8;
            v.real = np::realOf(arg);
            break;
        case DOCIVA_STRING:
            texts[i] = np::textOf(arg);
            v.type = DOCIVA_STRING;
            v.text = texts[i].c_str();
            v.textLength = static_cast<std::uint32_t>(texts[i].size());
            break;
        default: v.type = DOCIVA_EMPTY; break;
        }
    }
    dispatch::Result value;
    if (dispatch::invoke(control, dispid, values, needed, value, nullptr) != DOCIVA_OK) return true;
    return result ? resultOf(value, *result) : true;
}

}  // namespace

void PluginSite::fireEvent(std::int32_t, std::u16string_view name, std::u16string_view data) {
    const NPNetscapeFuncs* b = np::browser();
    if (name.empty() || !npp_ || !b || !b->getvalue || !b->getproperty || !b->invoke || !b->releaseobject ||
        !b->getstringidentifier)
        return;
    const std::string payload = text::toUtf8(data);
    NPObject* window = nullptr;
    if (b->getvalue(npp_, NPNVWindowNPObject, &window) != NPERR_NO_ERROR || !window) return;
    NPVariant page{NPVariantType_Void, {}};
    if (!b->getproperty(npp_, window, b->getstringidentifier("window"), &page)) {
        b->releaseobject(window);
        return;
    }
    if (page.type == NPVariantType_Object && page.value.objectValue) {
        const std::string function = text::toUtf8(name);
        NPVariant argument{NPVariantType_String, {}};
        argument.value.stringValue = {payload.c_str(), static_cast<std::uint32_t>(payload.size())};
        NPVariant answer{NPVariantType_Void, {}};
        // A page without the function is told nothing; neither is the plug-in.
        if (b->invoke(npp_, page.value.objectValue, b->getstringidentifier(function.c_str()), &argument, 1, &answer) &&
            b->releasevariantvalue)
            b->releasevariantvalue(&answer);
    }
    if (b->releasevariantvalue) b->releasevariantvalue(&page);
    b->releaseobject(window);
}

std::span<const char* const> CInterfaceControl::methodNames() { return kMethodNames; }

CInterfaceControl::CInterfaceControl(PluginSite& site, const ControlEnvironment& environment)
    : site_(site), control_(site, environment, kPluginPolicy) {
    // The plug-in's SDK reads the earlier, shorter settings record.
    control_.wrapper().setSettingsForm(CDocivaWrap::SettingsForm::Earlier);
    const NPNetscapeFuncs* b = np::browser();
    if (!b || !b->getstringidentifier) return;
    table_.reserve(std::size(kMethodNames));
    for (std::size_t i = 0; i < std::size(kMethodNames); ++i) {
        table_.push_back({b->getstringidentifier(kMethodNames[i]), i});
    }
}

bool CInterfaceControl::hasMethod(NPIdentifier name) const {
    return std::any_of(table_.begin(), table_.end(), [name](const Entry& e) { return e.id == name; });
}

void CInterfaceControl::start() {
    if (started_) return;
    started_ = true;
    control_.setUpPage();
}

void CInterfaceControl::attachDialog(void* parent) {
    if (dialog_) return;
    // The same handling as messages sent to the control's own window, on
    // the same thread, so the scan run cannot tell where they came in.
    dialog_ = np::ControlDialog::create(parent, control_.canvas(), [this](std::uint32_t message, std::uintptr_t wParam,
                                                                 std::intptr_t lParam) -> std::intptr_t {
        return control_.window() ? control_.window()->send(message, wParam, lParam) : 0;
    });
    // The dialogs the page's calls open, and the progress dialog, belong
    // to the plug-in's window from now on.
    if (dialog_) {
        site_.dialogs().setOwner(dialog_->handle());
        control_.setOwnerWindow(dialog_->handle());
    }
}

void CInterfaceControl::repaint() {
    if (dialog_) dialog_->invalidateViewer();
}

bool CInterfaceControl::invoke(NPIdentifier name, const NPVariant* args, std::uint32_t count, NPVariant* result) {
    const auto entry = std::find_if(table_.begin(), table_.end(), [name](const Entry& e) { return e.id == name; });
    if (entry == table_.end()) return false;
    const std::string_view method = kMethodNames[entry->name];
    const NPNetscapeFuncs* b = np::browser();
    if (method == "sayHello") return b && result && np::setText(*b, *result, u"CInterfaceControl hello world!");
    if (method == "test") return b && result && np::setText(*b, *result, u"CInterfaceControl Test!");
    if (method == "Initialize") {
        start();
        return true;
    }
    return callControl(control_, method, args, count, result);
}
