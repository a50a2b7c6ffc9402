// DialogService: the modal dialogs the control's methods open on the page's
// behalf. On Windows they are the component's own dialog windows; on Linux
// the program that hosts the control answers them (a script host queues
// its answers), so every method that asks the user stays testable.
//
// Thread safety: the control's window thread only; every call blocks until
// the dialog is closed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The folder browser's outcome, as the folder dialog reports it.
enum class FolderChoice : int { Chosen = 1, Cancelled = 2, NoFileSystemPath = -1 };

// The watermark dialog's record: what it opens with and what it gives back
// (0 none / 1 image / 2 text; positions 0..8 from left top to right bottom).
struct WatermarkSettings {
    std::int32_t type = 0;
    std::int32_t position = 0;
    std::int32_t transparency = 0;
    char16_t image[260] = {};
    char16_t text[260] = {};
    std::int32_t textSize = 0;
    std::int32_t textAngle = 0;
};
static_assert(sizeof(WatermarkSettings) == 1060);

struct FolderResult {
    FolderChoice choice = FolderChoice::Cancelled;
    std::u16string folder;  // only with Chosen
};

class DialogService {
public:
    virtual ~DialogService() = default;

    // One line of text; nullopt when not confirmed.
    virtual std::optional<std::u16string> inputBox(std::u16string_view caption, std::u16string_view prompt,
                                                   std::u16string_view initial) = 0;
    // flags: the folder browser's BIF_ flags; owner: the window the browser
    // belongs to (null: none).
    virtual FolderResult chooseFolder(std::u16string_view caption, std::u16string_view initialFolder,
                                      std::uint32_t flags, void* owner) = 0;
    // filter in the "Name|pattern||" form; nullopt when cancelled.
    virtual std::optional<std::u16string> openFile(std::u16string_view filter, void* owner) = 0;
    // A message in a window sized to it; the dialog's result.
    virtual int alert(std::u16string_view caption, std::u16string_view message) = 0;
    // The watermark dialog opened on record; true when confirmed, with the
    // values read back from its controls in record.
    virtual bool editWatermark(WatermarkSettings& record) = 0;

    // The window the dialogs belong to from now on (a native handle; null:
    // none). A service that opens no windows has no use for it.
    virtual void setOwner(void* /*window*/) {}
};

// The platform's own dialog windows (Windows), or null where the program
// that hosts the component answers its dialogs (Linux).
std::unique_ptr<DialogService> makeDialogWindows();

// Answers every dialog the way a user who closes it does: nothing chosen,
// nothing confirmed, the alert acknowledged. For shells whose dialog windows
// do not exist yet and for programs that run the control unattended.
class CancellingDialogs final : public DialogService {
public:
    std::optional<std::u16string> inputBox(std::u16string_view, std::u16string_view, std::u16string_view) override {
        return std::nullopt;
    }
    FolderResult chooseFolder(std::u16string_view, std::u16string_view, std::uint32_t, void*) override { return {}; }
    std::optional<std::u16string> openFile(std::u16string_view, void*) override { return std::nullopt; }
    int alert(std::u16string_view, std::u16string_view) override { return 1; }
    bool editWatermark(WatermarkSettings&) override { return false; }
};

}  // namespace platform
