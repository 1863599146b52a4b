#include "actions/widgets/ImageCopyWait.h"

#include "platform/disc/VolumeCache.h"
#include "platform/widgets/dlgWait.h"

#include <QSocketNotifier>
#include <QTimer>
#include <memory>

namespace orv {

namespace {

constexpr int kPollMs = 10;

class ImageCopyTask : public WaitTask {
public:
    explicit ImageCopyTask(ImageCopyRun& run);
    ~ImageCopyTask() override;

    void start() override;
    void cancel() override;

private:
    void Step();
    void Watch();
    void End();
    void dropNotifier();

    ImageCopyRun& run_;
    bool ended_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    int fd_ = -1;
    QTimer deadline_; // the read's time limit
    QTimer poll_; // where there is no descriptor to wait on
};

ImageCopyTask::ImageCopyTask(ImageCopyRun& run) : run_(run)
{
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, &ImageCopyTask::Step);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &ImageCopyTask::Step);
}

ImageCopyTask::~ImageCopyTask() = default;

void ImageCopyTask::start()
{
    emit progress(0, 0);
    if (run_.ended())
        return End();
    deadline_.start(run_.msLeft() + 1);
    Watch();
}

void ImageCopyTask::cancel()
{
    if (ended_)
        return;
    run_.cancel();
    End();
}

void ImageCopyTask::Step()
{
    // The run may close the descriptor it reads: the notifier lets go of it first.
    if (notifier_)
        notifier_->setEnabled(false);
    run_.step();
    emit progress(qint64(run_.bytesDone()), qint64(run_.bytesTotal()));
    if (ended_)
        return; // cancelled meanwhile
    if (run_.ended())
        return End();
    // A timer may fire a little early: the limit is looked at again once it is reached.
    if (!deadline_.isActive())
        deadline_.start(run_.msLeft() + 1);
    Watch();
}

void ImageCopyTask::Watch()
{
    const int fd = run_.waitFd();
    if (fd != fd_ || !notifier_) {
        dropNotifier();
        fd_ = fd;
        if (fd >= 0) {
            notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            connect(notifier_.get(), &QSocketNotifier::activated, this, &ImageCopyTask::Step);
        }
    }
    if (notifier_)
        notifier_->setEnabled(true);
    if (fd < 0 && !poll_.isActive())
        poll_.start();
    else if (fd >= 0)
        poll_.stop();
}

void ImageCopyTask::dropNotifier()
{
    // It may be the one whose signal runs now.
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_.release()->deleteLater();
    }
}

void ImageCopyTask::End()
{
    ended_ = true;
    dropNotifier();
    deadline_.stop();
    poll_.stop();
    emit finished();
}

} // namespace

void WaitForImageCopy(QWidget* window, ImageCopyRun& run)
{
    if (run.ended())
        return;
    ImageCopyTask task(run);
    dlgWait dlg(window, WaitJob::Copy, &task);
    dlg.ShowModal();
}

} // namespace orv
