// A copy out of a disc image under the wait dialog's copy job: the child reader is watched through
// its descriptors in the event loop, so the window repaints and the dialog answers while it copies.
#pragma once

class QWidget;

namespace orv {

class ImageCopyRun;

// Shows the wait dialog over window until the run has ended: done, failed, or cancelled by the
// user (its result then says Cancelled).
void WaitForImageCopy(QWidget* window, ImageCopyRun& run);

} // namespace orv
