// dociva view: opens files the way the viewer opens a scanned file (the
// image toolkit and the PDF library from the module folder) and prints what
// it found: the pages, and the size of each page read at full size. Loading
// a file also removes the temporary files that writers killed in its
// folder left behind, as the viewer does.
#include <string>

#include "output/multi_pdf.h"
#include "output/timage_binding.h"
#include "platform/console.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tools/commands.h"
#include "viewer/image_viewer.h"

const char kViewUsage[] =
    "  view [--module DIR] FILE...               opens each file as the viewer does and prints\n"
    "                                            FILE: N pages, WxH of each page at full size;\n"
    "                                            exit 1 when a file or a page cannot be read\n";

namespace {

int usage() {
    platform::writeStderr(std::string("usage:\n") + kViewUsage);
    return 2;
}

}  // namespace

int runViewCommand(const Arguments& args) {
    std::u16string moduleFolder;
    Arguments files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == u"--module") {
            if (++i >= args.size()) return usage();
            moduleFolder = args[i];
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.empty()) return usage();
    if (moduleFolder.empty()) moduleFolder = defaultModuleFolder();
    if (timage::library().load(moduleFolder) != timage::kLoaded) {
        platform::writeStderr("dociva view: the image toolkit does not load from " + text::toUtf8(moduleFolder) + "\n");
        return 2;
    }
    const CMultiPDF pdf(moduleFolder);
    int status = 0;
    for (const std::u16string& file : files) {
        CImageViewer viewer(pdf.available() ? &pdf : nullptr);
        std::string line = text::toUtf8(file) + ": ";
        if (!viewer.AddImage(file, -1)) {
            platform::writeStdout(line + "cannot be opened\n");
            status = 1;
            continue;
        }
        std::string sizes;
        int pages = 0;
        bool readable = true;
        viewer.WithDocument(0, [&](ViewerDocument* document) {
            if (!document) return;
            pages = static_cast<int>(document->pages.size());
            for (auto& page : document->pages) {
                const TI_IMAGE_INFO info = imageLayout(page->FullImage());
                if (info.width <= 0) readable = false;
                sizes += ' ';
                sizes += std::to_string(info.width);
                sizes += 'x';
                sizes += std::to_string(info.height);
                page->ReleaseFullImage();
            }
        });
        platform::writeStdout(line + std::to_string(pages) + " pages," + sizes + "\n");
        if (!readable || pages == 0) status = 1;
    }
    return status;
}
