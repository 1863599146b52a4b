#include "platform/disc/VolumeCache.h"

#include "platform/disc/SectorImage.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What a copy out of a sheet depends on besides the sheet: the files it names, their sizes and
// times. Their bytes are added to *bytes, which the time a read may take is measured by.
std::string dataFilesStamp(const std::string& image, unsigned long long* bytes)
{
    std::string stamp;
    for (const std::string& file : SheetDataFiles(image)) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0)
            continue;
        stamp += ImageStamp(file, st);
        *bytes += static_cast<unsigned long long>(st.st_size);
    }
    return stamp;
}

// Why the cache could not be written to.
ImageCopyStatus writeError()
{
    return errno == ENOSPC || errno == EDQUOT ? ImageCopyStatus::NoSpace : ImageCopyStatus::WriteFailed;
}

} // namespace

ImageCopyRun::~ImageCopyRun()
{
    if (!ended_)
        finish(ImageCopyStatus::Cancelled);
}

int ImageCopyRun::waitFd() const { return ended_ || !child_ ? -1 : child_->waitFd(); }

int ImageCopyRun::msLeft() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 24 * 3600 * 1000));
}

void ImageCopyRun::step()
{
    if (ended_)
        return;
    if (!child_->outputEnded())
        child_->readOutput(&pending_);
    ReaderNews news;
    if (!TakeReaderLines(&pending_, &news))
        return finish(ImageCopyStatus::Damaged);
    if (news.sizeBytes && !going_) {
        total_ = *news.sizeBytes;
        files_ = news.sizeFiles.value_or(0);
        madeRoom();
        if (ended_)
            return;
    }
    if (news.progress)
        done_ = std::min(*news.progress, total_);
    if (child_->outputEnded()) {
        if (const std::optional<int> code = child_->exitCode(false)) {
            const ImageCopyStatus status = *code < 0 ? ImageCopyStatus::Damaged : ImageReaderStatus(*code);
            // A clean end before the child was told to go on is no copy.
            return finish(status == ImageCopyStatus::Copied && !going_ ? ImageCopyStatus::Damaged : status);
        }
    }
    if (Clock::now() >= deadline_)
        finish(ImageCopyStatus::TimedOut);
}

// The cache keeps to its limit and the disk has room for the copy, or the run ends here.
void ImageCopyRun::madeRoom()
{
    const std::uint64_t need = DiskBytesFor(total_, files_);
    const std::uint64_t freeNow = freeBytes_(imageDir_);
    retired_ = MakeRoom(root_, limit_, total_, imageDir_ + '/' + slot_, freeNow, need);
    if (freeNow + retired_ < need)
        return finish(ImageCopyStatus::NoSpace);
    going_ = true;
    if (!child_->tell('c'))
        finish(ImageCopyStatus::Damaged);
}

void ImageCopyRun::cancel()
{
    if (!ended_)
        finish(ImageCopyStatus::Cancelled);
}

void ImageCopyRun::finish(ImageCopyStatus status)
{
    ended_ = true;
    child_.reset(); // killed if it still runs, and reaped
    const std::string slotPath = imageDir_ + '/' + slot_;
    if (status == ImageCopyStatus::Copied) {
        const FileLock lock = FileLock::ImageFolder(imageDir_);
        struct stat st {};
        // The image as it was when the copy began, and the copies still of that image.
        unsigned long long bytes = 0;
        if (::stat(canonical_.c_str(), &st) != 0
            || ImageStamp(canonical_, st) + dataFilesStamp(canonical_, &bytes) != stamp_
            || ReadSmallFile(imageDir_ + "/source") != stamp_) {
            status = ImageCopyStatus::Damaged;
        } else if (::rename(work_.c_str(), slotPath.c_str()) == 0) {
            if (!RecordSlot(imageDir_, slot_, total_))
                status = ImageCopyStatus::WriteFailed;
        } else if (!IsRealFolder(slotPath)) {
            // Another run of the program put the same copy in place first; otherwise:
            status = ImageCopyStatus::WriteFailed;
        }
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(work_, ec)))
        fs::remove_all(work_, ec);
    workLock_ = FileLock();
    result_ = {status, status == ImageCopyStatus::Copied ? slotPath : std::string()};
}

void RunToEnd(ImageCopyRun& run)
{
    while (!run.ended()) {
        const int fd = run.waitFd();
        pollfd p{fd, POLLIN, 0};
        ::poll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, std::min(run.msLeft(), fd >= 0 ? 1000 : 5));
        run.step();
    }
}

VolumeCache::VolumeCache(std::string exe, std::string folder, VolumeCacheLimits limits)
    : exe_(std::move(exe)), folder_(std::move(folder)), limits_(std::move(limits))
{
    if (!limits_.freeBytes)
        limits_.freeBytes = FreeBytes;
}

int VolumeCache::timeLimitFor(unsigned long long imageSize) const
{
    return limits_.timeLimitMs > 0 ? limits_.timeLimitMs : ImageReadTimeLimitMs(imageSize);
}

std::unique_ptr<ImageCopyRun> VolumeCache::start(const std::string& image, const std::vector<std::string>& folder) const
{
    std::unique_ptr<ImageCopyRun> run(new ImageCopyRun);
    const auto end = [&run](ImageCopyStatus status, std::string path = {}) {
        run->ended_ = true;
        run->result_ = {status, std::move(path)};
        return std::move(run);
    };
    struct stat st {};
    std::error_code ec;
    const fs::path canonical = fs::canonical(image, ec);
    if (ec || ::stat(canonical.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return end(ImageCopyStatus::Damaged);
    if (folder_.empty())
        return end(ImageCopyStatus::WriteFailed);
    fs::create_directories(folder_, ec);
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::replace, ec);
    run->root_ = folder_;
    run->canonical_ = canonical.string();
    run->imageDir_ = folder_ + '/' + ImageFolderName(run->canonical_);
    run->slot_ = SlotName(folder);
    unsigned long long bytes = static_cast<unsigned long long>(st.st_size);
    run->stamp_ = ImageStamp(run->canonical_, st) + dataFilesStamp(run->canonical_, &bytes);
    run->limit_ = limits_.totalBytes;
    run->freeBytes_ = limits_.freeBytes;
    if (!fs::is_directory(folder_, ec) || !MakeRealFolder(run->imageDir_))
        return end(writeError());
    const std::string slotPath = run->imageDir_ + '/' + run->slot_;
    {
        const FileLock lock = FileLock::ImageFolder(run->imageDir_);
        if (!lock.held())
            return end(ImageCopyStatus::WriteFailed);
        if (ReadSmallFile(run->imageDir_ + "/source") != run->stamp_) {
            // Copies of an image that has changed since are thrown away, every folder of it.
            RetireImageCopiesLocked(run->imageDir_);
            if (!WriteSmallFile(run->imageDir_ + "/source", run->stamp_))
                return end(writeError());
        } else if (IsSlot(run->imageDir_, run->slot_)) {
            TouchSlot(run->imageDir_, run->slot_);
            return end(ImageCopyStatus::Copied, slotPath);
        } else {
            // Not a copy of ours: a link, a file, a folder never recorded.
            RetireSlotLocked(run->imageDir_, run->slot_);
        }
        run->work_ = run->imageDir_ + "/.new-XXXXXX";
        if (!::mkdtemp(run->work_.data()))
            return end(writeError());
        run->workLock_ = FileLock::FolderIfFree(run->work_);
    }
    std::vector<std::string> args{exe_, kCopyImageFolderSwitch, run->canonical_, run->work_};
    args.insert(args.end(), folder.begin(), folder.end());
    run->deadline_ = Clock::now() + std::chrono::milliseconds(timeLimitFor(bytes));
    run->child_ = std::make_unique<ImageReaderChild>(args);
    if (!run->child_->started())
        run->finish(ImageCopyStatus::Damaged);
    return run;
}

ImageFolderCopy VolumeCache::folderCopy(const std::string& image, const std::vector<std::string>& folder) const
{
    const std::unique_ptr<ImageCopyRun> run = start(image, folder);
    RunToEnd(*run);
    return run->result();
}

ImageCopyResult VolumeCache::check(const std::string& image, const std::vector<std::string>& folder) const
{
    struct stat st {};
    if (::stat(image.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    unsigned long long bytes = static_cast<unsigned long long>(st.st_size);
    dataFilesStamp(image, &bytes);
    return ListImageFolderInChild(exe_, image, folder, timeLimitFor(bytes));
}

int ServeCacheTidy(const std::string& folder)
{
    // Nobody waits for this: it gives way to the program and everything else.
    ::setpriority(PRIO_PROCESS, 0, 10);
    if (!IsRealFolder(folder) && !fs::is_directory(folder))
        return 1;
    MakeRoom(folder, CacheLimitFromEnvironment(), 0, {}, 0, 0);
    TidyCache(folder);
    return 0;
}

std::string VolumeCacheFolder(const std::string& cacheHome)
{
    if (cacheHome.empty())
        return {};
    return (fs::path(cacheHome) / "orvantis" / "volumes").string();
}

} // namespace orv
