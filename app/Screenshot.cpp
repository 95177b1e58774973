#include "app/Screenshot.h"

#include "app/MainForm.h"
#include "common/Exception.h"
#include "common/StrUtils.h"
#include "common/UserFolders.h"
#include "platform/Clock.h"
#include "tools/Debug.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace varnok {

namespace {

constexpr uint32_t kNoticeMs = 2000;

// The number of a "varnok-NNNN.png" name (any count of digits), or -1.
long ShotNumber(const std::string& name) {
    const std::string prefix = "varnok-", suffix = ".png";
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return -1;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stol(digits);
}

} // namespace

std::string SaveNumberedPng(const RgbaImage& image, const std::string& folder) {
    if (!MakeFolders(folder)) throw EFileError("Cannot create the folder " + folder);
    long next = 1;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        next = std::max(next, ShotNumber(entry.path().filename().string()) + 1);
    // The picture goes to a temporary name first; linking it to its number
    // fails when that name exists, so nothing is ever replaced.
    const std::string temporary =
        (fs::path(folder) / Format("varnok-shot.tmp%ld", static_cast<long>(getpid()))).string();
    // Whatever stops the writing (a full disk) takes the temporary with it.
    try {
        WritePng(temporary, image);
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
    for (int attempt = 0; attempt < 1000; ++attempt, ++next) {
        const std::string target = (fs::path(folder) / Format("varnok-%04ld.png", next)).string();
        if (link(temporary.c_str(), target.c_str()) == 0) {
            unlink(temporary.c_str());
            return target;
        }
        if (errno != EEXIST) {
            const std::string why = std::strerror(errno);
            unlink(temporary.c_str());
            throw EFileError("Cannot save the screenshot " + target + ": " + why);
        }
    }
    unlink(temporary.c_str());
    throw EFileError("Cannot save a screenshot in " + folder + ": no free number");
}

void TMainForm::ShowNotice(const std::string& text, uint32_t ms) {
    screenshotNotice_ = text;
    screenshotNoticeUntil_ = platform::GetTickCount() + ms;
}

void TMainForm::RequestScreenshot() {
    screenshotPending_ = true;
}

void TMainForm::BeforeFlip() {
    if (screenshotPending_) {
        screenshotPending_ = false;
        // The frame as the game drew it, without the notice below.
        try {
            const std::string path = SaveNumberedPng(DXDraw.BackSurface().ToImage(), UserPicturesFolder());
            screenshotNotice_ = "Saved " + fs::path(path).filename().string();
        } catch (const std::exception& e) {
            screenshotNotice_ = "Screenshot not saved";
            AddMessage(e.what());
        }
        screenshotNoticeUntil_ = platform::GetTickCount() + kNoticeMs;
    }
    if (screenshotNotice_.empty()) return;
    if (static_cast<int32_t>(platform::GetTickCount() - screenshotNoticeUntil_) >= 0) {
        screenshotNotice_.clear();
        return;
    }
    // On the info-text line, below a sign's text when one shows.
    const TPictureCollectionItem& font = DXImageList.Items.Find(DXFontStatus.Font());
    const int top = World.InfoText.empty() ? 0 : 3 * font.PatternHeight;
    DXFontStatus.DrawTextWrapped(DXDraw.BackSurface(), 0, screenshotNotice_, font.PatternHeight,
                                 font.PatternWidth - 8, 100 + top);
}

} // namespace varnok
